// What compilers spell differently: forced inlining, its opposite, and the SSE2 instructions,
// with the switch between them and the portable code.
#pragma once

#include <atomic>

#if defined(_MSC_VER) && !defined(__clang__)
#define KESTRELWING_ALWAYS_INLINE __forceinline
#define KESTRELWING_NOINLINE __declspec(noinline)
#elif defined(__GNUC__)  // g++ and clang
#define KESTRELWING_ALWAYS_INLINE [[gnu::always_inline]]
#define KESTRELWING_NOINLINE [[gnu::noinline]]
#else
#define KESTRELWING_ALWAYS_INLINE
#define KESTRELWING_NOINLINE
#endif

// Every x86-64 processor has SSE2; the x86 builds have it where the compiler was told so.
#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define KESTRELWING_SSE2 1
#endif

namespace kestrelwing::detail {

// Whether the SSE2 paths run where they are compiled in. Every one of them has a portable path
// beside it, a unit at a time, that gives the same answers: turned off, the readers and the writer
// take those, which is how the tests and fuzz targets prove the two equal. Meant to be set
// between parses, not during one.
inline std::atomic<bool> wideScanning{true};
inline bool WideScanning() {
  return wideScanning.load(std::memory_order_relaxed);
}

}  // namespace kestrelwing::detail
