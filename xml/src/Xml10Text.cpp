#include "Xml10Text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <optional>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include "AsciiCase.h"
#include "Encodings.h"

namespace kestrelwing::detail {

// A document's text is written once from its start to its end, right after the block is taken.
// On Linux a block of many megabytes asks for huge pages: taking its memory a page of 4 KiB at a
// time costs the reader as much as decoding the text does.
UnitBuffer::UnitBuffer(std::size_t capacity) {
  if (capacity > SIZE_MAX / sizeof(char16_t)) throw std::bad_alloc();
  const std::size_t bytes = std::max<std::size_t>(capacity * sizeof(char16_t), 1);
  void* block = nullptr;
#ifdef __linux__
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  if (bytes >= 4 * kHugePage) {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    block = std::aligned_alloc(kHugePage, rounded);
    if (block != nullptr) madvise(block, rounded, MADV_HUGEPAGE);  // only a hint
  }
#endif
  if (block == nullptr) block = std::malloc(bytes);
  if (block == nullptr) throw std::bad_alloc();
  units_.reset(static_cast<char16_t*>(block));
}

void UnitBuffer::Free::operator()(char16_t* units) const noexcept {
  std::free(units);
}

namespace {

constexpr std::u16string_view kEncodingRule = u"4.3.3 Character Encoding in Entities";
constexpr std::u16string_view kCharRule = u"[2] Char";

enum class Decoder { Utf8, Utf16Le, Utf16Be, Latin1, Ascii, Windows1252, Unknown };

// Windows-1252's characters for bytes 80 to 9F; the rest are ISO-8859-1's. The five bytes
// Windows-1252 leaves unassigned keep their ISO-8859-1 characters.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool StartsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> start) {
  return bytes.size() >= start.size() && std::equal(start.begin(), start.end(), bytes.begin());
}

bool NameIs(std::string_view name, std::initializer_list<std::string_view> spellings) {
  for (std::string_view spelling : spellings) {
    if (name.size() == spelling.size() &&
        std::equal(name.begin(), name.end(), spelling.begin(),
                   [](char a, char b) { return AsciiLower(a) == AsciiLower(b); })) {
      return true;
    }
  }
  return false;
}

// The value of the declaration's encoding pseudo-attribute, read from bytes in an ASCII-based
// encoding; none when there is no declaration or it names none. The declaration's grammar is
// checked later, on the decoded text.
std::optional<std::string_view> DeclaredEncoding(std::span<const std::uint8_t> bytes) {
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()),
                              std::min<std::size_t>(bytes.size(), 1024));
  if (!text.starts_with("<?xml") || text.size() < 6 || !IsXmlSpace(text[5])) return std::nullopt;
  const std::string_view declaration = text.substr(0, text.find("?>"));
  const std::size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t i = at + 8;
  while (i < declaration.size() && IsXmlSpace(declaration[i]))
    ++i;
  if (i >= declaration.size() || declaration[i] != '=') return std::nullopt;
  ++i;
  while (i < declaration.size() && IsXmlSpace(declaration[i]))
    ++i;
  if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) {
    return std::nullopt;
  }
  const std::size_t end = declaration.find(declaration[i], i + 1);
  if (end == std::string_view::npos) return std::nullopt;
  return declaration.substr(i + 1, end - i - 1);
}

struct Decoding {
  Decoder decoder;
  std::size_t skip;  // bytes of the byte-order mark
  std::u16string unknownName;
};

Decoding ChooseDecoder(std::span<const std::uint8_t> bytes) {
  if (StartsWith(bytes, {0xEF, 0xBB, 0xBF})) return {Decoder::Utf8, 3, {}};
  if (StartsWith(bytes, {0xFF, 0xFE})) return {Decoder::Utf16Le, 2, {}};
  if (StartsWith(bytes, {0xFE, 0xFF})) return {Decoder::Utf16Be, 2, {}};
  if (StartsWith(bytes, {0x3C, 0x00, 0x3F, 0x00})) return {Decoder::Utf16Le, 0, {}};
  if (StartsWith(bytes, {0x00, 0x3C, 0x00, 0x3F})) return {Decoder::Utf16Be, 0, {}};
  const std::optional<std::string_view> name = DeclaredEncoding(bytes);
  if (!name || NameIs(*name, {"UTF-8", "UTF8"})) return {Decoder::Utf8, 0, {}};
  if (NameIs(*name, {"ISO-8859-1", "ISO_8859-1", "ISO8859-1", "latin1", "l1", "ISO-IR-100", "CP819",
                     "IBM819"})) {
    return {Decoder::Latin1, 0, {}};
  }
  if (NameIs(*name, {"US-ASCII", "ASCII", "ANSI_X3.4-1968", "ISO646-US"})) {
    return {Decoder::Ascii, 0, {}};
  }
  if (NameIs(*name, {"windows-1252", "cp1252"})) return {Decoder::Windows1252, 0, {}};
  return {Decoder::Unknown, 0, std::u16string(name->begin(), name->end())};
}

// Strict UTF-8, line ends normalized and every character checked in the same pass: overlong
// forms, surrogates, code points past U+10FFFF and cut sequences are bad bytes. Answers the
// offset in out where decoding stopped, or npos; illegal is then the character XML does not
// allow, or none for bad bytes.
std::size_t DecodeUtf8Xml(std::span<const std::uint8_t> bytes, UnitBuffer& out,
                          std::optional<char16_t>& illegal) {
  char16_t* const start = out.data();
  char16_t* p = start;
  const std::uint8_t* in = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  [[maybe_unused]] const bool wide = WideScanning();
  const auto stop = [&](std::optional<char16_t> character) {
    illegal = character;
    out.resize(static_cast<std::size_t>(p - start));
    return out.size();
  };
  while (i < n) {
#ifdef KESTRELWING_SSE2
    // Sixteen bytes at a step while each is LF, tab or printable ASCII.
    const __m128i printable = _mm_set1_epi8(0x1F);
    const __m128i lf = _mm_set1_epi8('\n'), tab = _mm_set1_epi8('\t');
    const __m128i zero = _mm_setzero_si128();
    while (wide && i + 16 <= n) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
      const __m128i plain =
          _mm_or_si128(_mm_cmpgt_epi8(block, printable),
                       _mm_or_si128(_mm_cmpeq_epi8(block, lf), _mm_cmpeq_epi8(block, tab)));
      // The block is stored whole; units past its first other byte are written again later.
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi8(block, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 8), _mm_unpackhi_epi8(block, zero));
      const auto other = ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu;
      if (other == 0) {
        i += 16, p += 16;
        continue;
      }
      const auto run = static_cast<std::size_t>(std::countr_zero(other));
      i += run, p += run;
      // CR LF, the line end of many documents, is taken here without leaving the loop.
      if (in[i] != '\r' || i + 1 == n || in[i + 1] != '\n') break;
      *p++ = u'\n';
      i += 2;
    }
    if (i == n) break;
#endif
    const std::uint8_t lead = in[i];
    if (lead < 0x80) {
      if (lead == '\r') {
        *p++ = u'\n';
        i += i + 1 < n && in[i + 1] == '\n' ? 2 : 1;
      } else if (lead < 0x20 && lead != '\n' && lead != '\t') {
        return stop(lead);
      } else {
        *p++ = lead;
        ++i;
      }
      continue;
    }
    std::size_t length = 0;
    char32_t code = 0, minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, code = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, code = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, code = lead & 0x07, minimum = 0x10000;
    }
    bool good = length != 0 && i + length <= n;
    for (std::size_t k = 1; good && k < length; ++k) {
      good = (in[i + k] & 0xC0) == 0x80;
      code = (code << 6) | (in[i + k] & 0x3F);
    }
    if (!good || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return stop(std::nullopt);
    }
    if (code == 0xFFFE || code == 0xFFFF) return stop(static_cast<char16_t>(code));
    if (code >= 0x10000) {
      code -= 0x10000;
      *p++ = static_cast<char16_t>(0xD800 + (code >> 10));
      *p++ = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      *p++ = static_cast<char16_t>(code);
    }
    i += length;
  }
  out.resize(static_cast<std::size_t>(p - start));
  return std::u16string::npos;
}

// Normalizes line ends (CR LF and a lone CR become LF) in place and checks every character;
// answers the offset of the first illegal one (which goes to bad), or npos. Offsets are those of
// the normalized text, which ends before the illegal character.
std::size_t NormalizeAndCheck(UnitBuffer& text, char16_t& bad) {
  const std::size_t n = text.size();
  char16_t* const units = text.data();
  std::size_t j = 0;
  [[maybe_unused]] const bool wide = WideScanning();
  for (std::size_t i = 0; i < n; ++i) {
#ifdef KESTRELWING_SSE2
    // Eight characters at a step while each is LF, tab or from U+0020 to U+D7FF, moved only
    // once a CR LF was shortened.
    const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
    const __m128i low = _mm_set1_epi16(0x20);
    const __m128i span = _mm_set1_epi16(static_cast<short>((0xD800 - 0x20) ^ 0x8000));
    const __m128i lf = _mm_set1_epi16(u'\n'), tab = _mm_set1_epi16(u'\t');
    while (wide && i + 8 <= n) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
      const __m128i plain =
          _mm_or_si128(_mm_cmplt_epi16(_mm_xor_si128(_mm_sub_epi16(block, low), flip), span),
                       _mm_or_si128(_mm_cmpeq_epi16(block, lf), _mm_cmpeq_epi16(block, tab)));
      const auto other = ~static_cast<unsigned>(_mm_movemask_epi8(plain)) & 0xFFFFu;
      if (other != 0) {
        // Only the plain units before the other one move: a whole block would overwrite units
        // not yet read.
        const auto run = static_cast<std::size_t>(std::countr_zero(other)) / 2;
        if (j != i) std::copy(units + i, units + i + run, units + j);
        i += run, j += run;
        break;
      }
      if (j != i) _mm_storeu_si128(reinterpret_cast<__m128i*>(units + j), block);
      i += 8, j += 8;
    }
    if (i == n) break;
#endif
    const char16_t c = units[i];
    if (c >= 0x20 && c < 0xD800) {
      units[j++] = c;
    } else if (c == u'\n' || c == u'\t') {
      units[j++] = c;
    } else if (c == u'\r') {
      units[j++] = u'\n';
      if (i + 1 < n && units[i + 1] == u'\n') ++i;
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
               units[i + 1] <= 0xDFFF) {
      units[j++] = c;
      units[j++] = units[++i];
    } else if (c >= 0xE000 && c <= 0xFFFD) {
      units[j++] = c;
    } else {
      bad = c;
      text.resize(j);
      return j;
    }
  }
  text.resize(j);
  return std::u16string::npos;
}

Xml10Text Fail(std::size_t offset, std::u16string what, std::u16string_view rule) {
  return {UnitBuffer(), kEncodingUtf8, true, {offset, std::move(what), rule}};
}

std::u16string HexUnit(char16_t c) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text = u"U+";
  for (int shift = 12; shift >= 0; shift -= 4)
    text += kDigits[(c >> shift) & 0xF];
  return text;
}

// The text up to a problem at offset: an illegal character, or bad bytes without one. The text
// is kept for the error's line and column.
Xml10Text Failed(UnitBuffer text, std::size_t offset, std::optional<char16_t> illegal) {
  Xml10Text failed =
      illegal ? Fail(offset, u"The character " + HexUnit(*illegal) + u", which XML does not allow",
                     kCharRule)
              : Fail(offset, u"Bytes that are not valid in the document's encoding", kEncodingRule);
  failed.text = std::move(text);
  return failed;
}

// Normalizes and checks decoded text, which ends at decodedUpTo when bad bytes followed. In text
// decoded from UTF-16 a surrogate without its pair is bad bytes; in text handed over as
// characters, a character XML does not allow.
Xml10Text Finish(UnitBuffer text, std::int32_t encodingId, std::size_t decodedUpTo) {
  if (decodedUpTo != std::u16string::npos) text.resize(decodedUpTo);
  char16_t illegal = 0;
  const std::size_t illegalAt = NormalizeAndCheck(text, illegal);
  if (illegalAt != std::u16string::npos) {
    const bool badBytes = encodingId == kEncodingUtf16 && illegal >= 0xD800 && illegal <= 0xDFFF;
    return Failed(std::move(text), illegalAt,
                  badBytes ? std::nullopt : std::optional<char16_t>(illegal));
  }
  if (decodedUpTo != std::u16string::npos) {
    return Failed(std::move(text), text.size(), std::nullopt);
  }
  return {std::move(text), encodingId, false, {}};
}

}  // namespace

static Xml10Text Decode(std::span<const std::uint8_t> bytes);

// A byte-order mark and a declaration that names another encoding contradict each other.
std::optional<std::u16string> MarkContradicted(const Decoding& decoding, std::u16string_view text) {
  if (decoding.skip == 0) return std::nullopt;
  std::string ascii(std::min<std::size_t>(text.size(), 1024), '?');
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (text[i] < 0x80) ascii[i] = static_cast<char>(text[i]);
  }
  const std::optional<std::string_view> name = DeclaredEncoding(
      std::span(reinterpret_cast<const std::uint8_t*>(ascii.data()), ascii.size()));
  const bool utf8 = decoding.decoder == Decoder::Utf8;
  if (!name || (utf8 ? NameIs(*name, {"UTF-8", "UTF8"})
                     : NameIs(*name, {"UTF-16", "UTF16", "UTF-16LE", "UTF-16BE", "ISO-10646-UCS-2",
                                      "UCS-2"}))) {
    return std::nullopt;
  }
  return u"The byte-order mark of " + std::u16string(utf8 ? u"UTF-8" : u"UTF-16") +
         u" contradicts the declared encoding '" + std::u16string(name->begin(), name->end()) +
         u"'";
}

Xml10Text DecodeXml10(std::span<const std::uint8_t> bytes) {
  Xml10Text decoded = Decode(bytes);
  if (decoded.failed) return decoded;
  if (std::optional<std::u16string> contradiction =
          MarkContradicted(ChooseDecoder(bytes), decoded.text.view())) {
    Xml10Text failed = Fail(0, std::move(*contradiction), kEncodingRule);
    failed.text = std::move(decoded.text);
    return failed;
  }
  return decoded;
}

static Xml10Text Decode(std::span<const std::uint8_t> bytes) {
  Decoding decoding = ChooseDecoder(bytes);
  const std::span<const std::uint8_t> payload = bytes.subspan(decoding.skip);
  // Never more characters than bytes.
  UnitBuffer text(payload.size());
  text.resize(payload.size());
  std::size_t decodedUpTo = std::u16string::npos;
  std::int32_t encodingId = kEncodingNarrow;
  switch (decoding.decoder) {
    case Decoder::Utf8: {
      std::optional<char16_t> illegal;
      const std::size_t stopped = DecodeUtf8Xml(payload, text, illegal);
      if (stopped == std::u16string::npos) return {std::move(text), kEncodingUtf8, false, {}};
      // Only the characters before the stop were checked; the stop is the first problem.
      return Failed(std::move(text), stopped, illegal);
    }
    case Decoder::Utf16Le:
    case Decoder::Utf16Be: {
      text = UnitBuffer(Utf16ToText(payload, decoding.decoder == Decoder::Utf16Be));
      encodingId = kEncodingUtf16;
      if (payload.size() % 2 != 0) decodedUpTo = text.size();
      break;
    }
    case Decoder::Latin1:
    case Decoder::Windows1252:
      for (std::size_t i = 0; i < payload.size(); ++i) {
        const std::uint8_t b = payload[i];
        text.data()[i] = decoding.decoder == Decoder::Windows1252 && b >= 0x80 && b < 0xA0
                             ? kWindows1252High[b - 0x80]
                             : static_cast<char16_t>(b);
      }
      break;
    case Decoder::Ascii: {
      const std::size_t ascii = WidenAscii(payload, text.data());
      if (ascii < payload.size()) decodedUpTo = ascii;
      break;
    }
    case Decoder::Unknown:
      return Fail(0, u"The encoding '" + decoding.unknownName + u"' cannot be read", kEncodingRule);
  }
  return Finish(std::move(text), encodingId, decodedUpTo);
}

Xml10Text PrepareXml10(std::u16string_view text) {
  if (!text.empty() && text.front() == u'\uFEFF') text.remove_prefix(1);
  return Finish(UnitBuffer(text), kEncodingNarrow, std::u16string::npos);
}

namespace {

struct Range {
  char16_t first, last;
};

// Beyond ASCII, the NameStartChar ranges of the Basic Multilingual Plane; the surrogates stand
// for U+10000 to U+EFFFF.
constexpr Range kNameStartRanges[] = {{0xC0, 0xD6},     {0xD8, 0xF6},     {0xF8, 0x2FF},
                                      {0x370, 0x37D},   {0x37F, 0x1FFF},  {0x200C, 0x200D},
                                      {0x2070, 0x218F}, {0x2C00, 0x2FEF}, {0x3001, 0xD7FF},
                                      {0xD800, 0xDB7F}, {0xF900, 0xFDCF}, {0xFDF0, 0xFFFD}};
constexpr Range kNameOnlyRanges[] = {{0xB7, 0xB7}, {0x300, 0x36F}, {0x203F, 0x2040}};

bool InRanges(char16_t c, std::span<const Range> ranges) {
  return std::any_of(ranges.begin(), ranges.end(),
                     [c](const Range& r) { return c >= r.first && c <= r.last; });
}

}  // namespace

bool IsXmlNameStart(char16_t c) {
  return c < 0x80 ? (kAsciiNameClasses[c] & kXmlNameStartClass) != 0
                  : InRanges(c, kNameStartRanges);
}

bool IsXmlNameChar(char16_t c) {
  return c < 0x80 ? (kAsciiNameClasses[c] & kXmlNameClass) != 0
                  : InRanges(c, kNameStartRanges) || InRanges(c, kNameOnlyRanges);
}

std::size_t XmlNameLength(std::u16string_view text, bool nameToken) {
  const std::size_t n = text.size();
  if (n == 0 || (!nameToken && !IsXmlNameStart(text[0]))) return 0;
  std::size_t i = 0;
  for (;;) {
    // Names are nearly always ASCII.
    i = AsciiNameRun(text.data(), n, i);
    while (i < n && text[i] < 0x80 && (kAsciiNameClasses[text[i]] & kXmlNameClass) != 0)
      ++i;
    if (i == n || text[i] < 0x80) return i;
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDB7F) {
      i += 2;  // a pair for U+10000 to U+EFFFF; the text holds only whole pairs
    } else if (IsXmlNameChar(c)) {
      ++i;
    } else {
      return i;
    }
  }
}

}  // namespace kestrelwing::detail
