// Bytes <-> UTF-16 text: byte-order marks, UTF-8 sniffing, and the three output encodings.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "Compiler.h"

namespace kestrelwing::detail {

enum : std::int32_t { kEncodingNarrow = 0, kEncodingUtf8 = 1, kEncodingUtf16 = 2 };

// How many bytes UTF-8 sniffing examines, counted from the first byte that is not ASCII.
inline constexpr std::size_t kUtf8SampleLimit = 2048;

struct DecodedText {
  std::u16string text;
  std::int32_t encodingId;  // -1 for empty input: the caller keeps the encoding it had
};

// What a document's bytes hold, as DecodeBytes decides it, before anything is decoded.
enum class ByteForm { Utf16Le, Utf16Be, Utf8, Narrow };
struct ClassifiedBytes {
  ByteForm form;
  std::int32_t encodingId;
  std::span<const std::uint8_t> payload;  // the bytes after the byte-order mark
};
// bytes must not be empty; payload then is not empty either.
ClassifiedBytes ClassifyBytes(std::span<const std::uint8_t> bytes);

// Byte-order mark (FF FE, FE FF, EF BB BF), else UTF-8 when the sample looks like it, else narrow.
DecodedText DecodeBytes(std::span<const std::uint8_t> bytes);
// True when the sample holds UTF-8 multi-byte sequences and nothing that contradicts UTF-8.
bool LooksLikeUtf8(std::span<const std::uint8_t> bytes, std::ptrdiff_t limit = kUtf8SampleLimit);

// Malformed sequences become U+FFFD.
std::u16string Utf8ToText(std::span<const std::uint8_t> bytes);
// Writes the ASCII bytes at the start of bytes to out as UTF-16 and answers how many there were.
// Inline: the reader calls it for every name and value, most of them short.
inline std::size_t WidenAscii(std::span<const std::uint8_t> bytes, char16_t* out) {
  const std::uint8_t* in = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
#ifdef KESTRELWING_SSE2
  const __m128i zero = _mm_setzero_si128();
  const auto widen8 = [&](std::size_t at) {
    const __m128i block = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + at));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm_unpacklo_epi8(block, zero));
    return _mm_movemask_epi8(block) == 0;
  };
  // Blocks of sixteen, then of eight; the last one may overlap the one before, as long as all
  // of it is ASCII. A block is written whole: what follows its first other byte is written
  // again by the caller.
  if (n >= 8 && WideScanning()) {
    for (; i + 16 <= n; i += 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(block, zero));
      if (const auto other = static_cast<unsigned>(_mm_movemask_epi8(block)); other != 0) {
        return i + static_cast<std::size_t>(std::countr_zero(other));
      }
    }
    for (; i + 8 <= n; i += 8) {
      if (!widen8(i)) break;
    }
    if (i + 8 > n && i < n && widen8(n - 8)) return n;
  } else if (n >= 4 && WideScanning()) {
    // Two blocks of four, overlapping unless there are eight.
    const auto widen4 = [&](std::size_t at) {
      std::int32_t four;
      std::memcpy(&four, in + at, sizeof four);
      const __m128i block = _mm_cvtsi32_si128(four);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + at), _mm_unpacklo_epi8(block, zero));
      return _mm_movemask_epi8(block) == 0;
    };
    if (widen4(0)) {
      if (widen4(n - 4)) return n;
      i = 4;
    }
  }
#endif
  while (i < n && in[i] < 0x80) {
    out[i] = in[i];
    ++i;
  }
  return i;
}
// Writes Utf8ToText(bytes) to out, which has room for bytes.size() units; answers how many.
std::size_t Utf8ToUnits(std::span<const std::uint8_t> bytes, char16_t* out);
// Appends Utf8ToText(bytes) to out.
void AppendUtf8AsText(std::u16string& out, std::span<const std::uint8_t> bytes);
// Little-endian code units, or big-endian when swapPairs; a trailing odd byte is ignored.
std::u16string Utf16ToText(std::span<const std::uint8_t> bytes, bool swapPairs);

// Encoders append to out, so whole runs of text are encoded at once. An unpaired surrogate
// becomes U+FFFD in UTF-8; a character the narrow code page lacks becomes '?'.
void AppendUtf8(std::string& out, std::u16string_view text);
void AppendUtf16(std::string& out, std::u16string_view text);  // little-endian, no mark
void AppendNarrow(std::string& out, std::u16string_view text);
// Encodes by encodingId: 1 UTF-8, 2 UTF-16, anything else narrow.
void AppendEncoded(std::string& out, std::u16string_view text, std::int32_t encodingId);
// EF BB BF for 1, FF FE for 2, nothing otherwise.
std::string_view ByteOrderMark(std::int32_t encodingId);

}  // namespace kestrelwing::detail
