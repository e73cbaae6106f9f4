// Bytes <-> UTF-16 text. Every conversion works on whole runs: plain ASCII, by far the most
// common content of a document, is copied eight bytes at a time.
#include "Encodings.h"

#include <kestrelwing/cXmlNode.h>

#include <bit>
#include <cstring>

#include "Edge.h"

namespace kestrelwing::detail {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

std::uint64_t Load8(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

// Index of the first byte that is not ASCII, or bytes.size(); many bytes at a time.
std::size_t FirstNonAscii(std::span<const std::uint8_t> bytes) {
  std::size_t i = 0;
#ifdef KESTRELWING_SSE2
  for (; WideScanning() && i + 32 <= bytes.size(); i += 32) {
    const auto* in = reinterpret_cast<const __m128i*>(bytes.data() + i);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_loadu_si128(in), _mm_loadu_si128(in + 1))) != 0) break;
  }
#endif
  while (i + 8 <= bytes.size() && (Load8(bytes.data() + i) & kHighBits) == 0)
    i += 8;
  while (i < bytes.size() && bytes[i] < 0x80)
    ++i;
  return i;
}

bool IsContinuation(std::uint8_t b) {
  return (b & 0xC0) == 0x80;
}
bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// Decodes one multi-byte sequence starting at bytes[i] (a byte >= 0x80) into out, and answers
// how many bytes it took. An ill-formed sequence yields one U+FFFD for its longest well-formed
// beginning (at least one byte), as Unicode recommends.
std::size_t DecodeSequence(std::span<const std::uint8_t> bytes, std::size_t i, char16_t*& out) {
  const std::uint8_t lead = bytes[i];
  std::size_t length;
  std::uint32_t code;
  std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    *out++ = kReplacement;
    return 1;
  }
  std::size_t taken = 1;
  for (; taken < length; ++taken) {
    if (i + taken >= bytes.size()) break;
    const std::uint8_t b = bytes[i + taken];
    if (taken == 1 ? (b < low || b > high) : !IsContinuation(b)) break;
    code = (code << 6) | (b & 0x3F);
  }
  if (taken < length) {
    *out++ = kReplacement;
    return taken;
  }
  if (code >= 0x10000) {
    code -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (code >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  } else {
    *out++ = static_cast<char16_t>(code);
  }
  return length;
}

std::size_t Utf8Length(std::u16string_view text) {
  std::size_t length = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      length += 1;
    } else if (c < 0x800) {
      length += 2;
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      length += 4;
      ++i;
    } else {
      length += 3;  // also U+FFFD for an unpaired surrogate
    }
  }
  return length;
}

}  // namespace

bool LooksLikeUtf8(std::span<const std::uint8_t> bytes, std::ptrdiff_t limit) {
  if (limit < 0) return false;
  // The sample starts at the first byte that is not ASCII, so that a document whose first
  // kilobytes are plain ASCII is still judged by its first non-ASCII text.
  const std::span<const std::uint8_t> sample = bytes.subspan(FirstNonAscii(bytes));
  const std::size_t m = std::min(static_cast<std::size_t>(limit), sample.size());
  std::size_t sequences = 0;
  for (std::size_t i = 0; i < m;) {
    const std::uint8_t b = sample[i];
    if (b < 0x80) {
      i += FirstNonAscii(sample.subspan(i, m - i));
      continue;
    }
    if (b >= 0xFE) {  // FE and FF are skipped: neither counted nor rejected
      ++i;
      continue;
    }
    if (b < 0xC0) return false;  // a continuation byte where a character must start
    const std::size_t k = b >= 0xFC ? 5 : b >= 0xF8 ? 4 : b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
    if (i + k >= m) break;  // the sequence does not end inside the sample
    for (std::size_t j = 1; j <= k; ++j) {
      if (!IsContinuation(sample[i + j])) return false;
    }
    i += k + 1;
    ++sequences;
  }
  return sequences > 0;
}

std::size_t Utf8ToUnits(std::span<const std::uint8_t> bytes, char16_t* out) {
  char16_t* p = out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const std::size_t ascii = WidenAscii(bytes.subspan(i), p);
    p += ascii, i += ascii;
    if (i == bytes.size()) break;
    i += DecodeSequence(bytes, i, p);
  }
  return static_cast<std::size_t>(p - out);
}

void AppendUtf8AsText(std::u16string& out, std::span<const std::uint8_t> bytes) {
  // Never more UTF-16 code units than bytes: size for the worst case, trim at the end.
  const std::size_t at = out.size();
  out.resize(at + bytes.size());
  out.resize(at + Utf8ToUnits(bytes, out.data() + at));
}

std::u16string Utf8ToText(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  AppendUtf8AsText(text, bytes);
  if (text.capacity() - text.size() > text.size() / 4) text.shrink_to_fit();
  return text;
}

std::u16string Utf16ToText(std::span<const std::uint8_t> bytes, bool swapPairs) {
  std::u16string text(bytes.size() / 2, u'\0');
  const std::uint8_t* in = bytes.data();
  const int lowByte = swapPairs ? 1 : 0;
  std::size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    if (!swapPairs) {
      std::memcpy(text.data(), in, 2 * text.size());
      return text;
    }
  }
#ifdef KESTRELWING_SSE2
  if (swapPairs && WideScanning()) {  // big-endian units on this little-endian processor
    for (; i + 8 <= text.size(); i += 8) {
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(text.data() + i),
                       _mm_or_si128(_mm_slli_epi16(units, 8), _mm_srli_epi16(units, 8)));
    }
  }
#endif
  for (in += 2 * i; i < text.size(); ++i, in += 2) {
    text[i] = static_cast<char16_t>(in[lowByte] | (in[1 - lowByte] << 8));
  }
  return text;
}

// A mark with nothing after it does not count: the bytes are then judged without it.
ClassifiedBytes ClassifyBytes(std::span<const std::uint8_t> bytes) {
  const std::size_t n = bytes.size();
  if (n >= 4 &&
      ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
    return {bytes[0] == 0xFE ? ByteForm::Utf16Be : ByteForm::Utf16Le, kEncodingUtf16,
            bytes.subspan(2)};
  }
  if (n >= 4 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return {ByteForm::Utf8, kEncodingUtf8, bytes.subspan(3)};
  }
  if (LooksLikeUtf8(bytes)) return {ByteForm::Utf8, kEncodingUtf8, bytes};
  return {ByteForm::Narrow, kEncodingNarrow, bytes};
}

DecodedText DecodeBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return {{}, -1};
  const ClassifiedBytes classified = ClassifyBytes(bytes);
  switch (classified.form) {
    case ByteForm::Utf16Le:
    case ByteForm::Utf16Be:
      return {Utf16ToText(classified.payload, classified.form == ByteForm::Utf16Be),
              classified.encodingId};
    case ByteForm::Utf8:
      return {Utf8ToText(classified.payload), classified.encodingId};
    case ByteForm::Narrow:
      break;
  }
  return {platform::NarrowToText(classified.payload), classified.encodingId};
}

void AppendUtf8(std::string& out, std::u16string_view text) {
  std::size_t at = out.size();
  out.resize(at + Utf8Length(text));
  char* p = out.data() + at;
  const auto put = [&p](unsigned value) { *p++ = static_cast<char>(value); };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      put(c);
    } else if (c < 0x800) {
      put(0xC0 | (c >> 6));
      put(0x80 | (c & 0x3F));
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const std::uint32_t code = 0x10000 + ((c - 0xD800u) << 10) + (text[++i] - 0xDC00u);
      put(0xF0 | (code >> 18));
      put(0x80 | ((code >> 12) & 0x3F));
      put(0x80 | ((code >> 6) & 0x3F));
      put(0x80 | (code & 0x3F));
    } else {
      const char16_t unit = IsHighSurrogate(c) || IsLowSurrogate(c) ? kReplacement : c;
      put(0xE0 | (unit >> 12));
      put(0x80 | ((unit >> 6) & 0x3F));
      put(0x80 | (unit & 0x3F));
    }
  }
}

void AppendUtf16(std::string& out, std::u16string_view text) {
  const std::size_t at = out.size();
  out.resize(at + 2 * text.size());
  char* p = out.data() + at;
  for (const char16_t c : text) {
    *p++ = static_cast<char>(c & 0xFF);
    *p++ = static_cast<char>(c >> 8);
  }
}

void AppendNarrow(std::string& out, std::u16string_view text) {
  platform::AppendTextAsNarrow(out, text);
}

void AppendEncoded(std::string& out, std::u16string_view text, std::int32_t encodingId) {
  switch (encodingId) {
    case kEncodingUtf8:
      AppendUtf8(out, text);
      break;
    case kEncodingUtf16:
      AppendUtf16(out, text);
      break;
    default:
      AppendNarrow(out, text);
      break;
  }
}

std::string_view ByteOrderMark(std::int32_t encodingId) {
  switch (encodingId) {
    case kEncodingUtf8:
      return "\xEF\xBB\xBF";
    case kEncodingUtf16:
      return "\xFF\xFE";
    default:
      return {};
  }
}

}  // namespace kestrelwing::detail

namespace kestrelwing {

std::string ToUtf8(std::u16string_view text) {
  std::string bytes;
  detail::AppendUtf8(bytes, text);
  return bytes;
}

std::u16string FromUtf8(std::string_view text) {
  return detail::Utf8ToText({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace kestrelwing
