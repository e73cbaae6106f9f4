// What compilers spell differently: forced inlining, its opposite, and the SSE2 instructions.
#pragma once

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
#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KESTRELWING_SSE2 1
#endif
