#include "Xml10Text.h"

#include <algorithm>
#include <array>
#include <optional>

#include "AsciiCase.h"
#include "Encodings.h"

namespace kestrelwing::detail {
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

// Strict UTF-8: overlong forms, surrogates, code points past U+10FFFF and cut sequences are
// errors. Answers the offset in out of the first bad sequence, or npos.
std::size_t DecodeUtf8Strict(std::span<const std::uint8_t> bytes, std::u16string& out) {
  out.resize(bytes.size());
  char16_t* p = out.data();
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    const std::size_t ascii = WidenAscii(bytes.subspan(i), p);
    p += ascii, i += ascii;
    if (i == n) break;
    const std::uint8_t lead = bytes[i];
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
      good = (bytes[i + k] & 0xC0) == 0x80;
      code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    if (!good || code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      const std::size_t at = static_cast<std::size_t>(p - out.data());
      out.resize(at);
      return at;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      *p++ = static_cast<char16_t>(0xD800 + (code >> 10));
      *p++ = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      *p++ = static_cast<char16_t>(code);
    }
    i += length;
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  return std::u16string::npos;
}

// Normalizes line ends (CR LF and a lone CR become LF) in place and checks every character;
// answers the offset of the first illegal one (which goes to bad), or npos. Offsets are those of
// the normalized text, which ends before the illegal character.
std::size_t NormalizeAndCheck(std::u16string& text, char16_t& bad) {
  const std::size_t n = text.size();
  char16_t* const units = text.data();
  std::size_t j = 0;
  for (std::size_t i = 0; i < n; ++i) {
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
  Xml10Text result{{}, kEncodingUtf8, true, {offset, std::move(what), rule}};
  return result;
}

std::u16string HexUnit(char16_t c) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text = u"U+";
  for (int shift = 12; shift >= 0; shift -= 4)
    text += kDigits[(c >> shift) & 0xF];
  return text;
}

Xml10Text Finish(std::u16string text, std::int32_t encodingId, std::size_t decodedUpTo) {
  Xml10Text result{std::move(text), encodingId, false, {}};
  // Up to bad bytes, the text decoded: its errors come first.
  if (decodedUpTo != std::u16string::npos) result.text.resize(decodedUpTo);
  char16_t bad = 0;
  const std::size_t badAt = NormalizeAndCheck(result.text, bad);
  if (badAt != std::u16string::npos) {
    Xml10Text failed =
        Fail(badAt, u"The character " + HexUnit(bad) + u", which XML does not allow", kCharRule);
    failed.text = std::move(result.text);
    return failed;
  }
  if (decodedUpTo != std::u16string::npos) {
    Xml10Text failed = Fail(result.text.size(),
                            u"Bytes that are not valid in the document's encoding", kEncodingRule);
    failed.text = std::move(result.text);
    return failed;
  }
  return result;
}

}  // namespace

Xml10Text DecodeXml10(std::span<const std::uint8_t> bytes) {
  Decoding decoding = ChooseDecoder(bytes);
  const std::span<const std::uint8_t> payload = bytes.subspan(decoding.skip);
  std::u16string text;
  std::size_t decodedUpTo = std::u16string::npos;
  std::int32_t encodingId = kEncodingNarrow;
  switch (decoding.decoder) {
    case Decoder::Utf8:
      decodedUpTo = DecodeUtf8Strict(payload, text);
      encodingId = kEncodingUtf8;
      break;
    case Decoder::Utf16Le:
    case Decoder::Utf16Be: {
      text = Utf16ToText(payload, decoding.decoder == Decoder::Utf16Be);
      encodingId = kEncodingUtf16;
      if (payload.size() % 2 != 0) decodedUpTo = text.size();
      break;
    }
    case Decoder::Latin1:
    case Decoder::Windows1252:
      text.resize(payload.size());
      for (std::size_t i = 0; i < payload.size(); ++i) {
        const std::uint8_t b = payload[i];
        text[i] = decoding.decoder == Decoder::Windows1252 && b >= 0x80 && b < 0xA0
                      ? kWindows1252High[b - 0x80]
                      : static_cast<char16_t>(b);
      }
      break;
    case Decoder::Ascii: {
      text.resize(payload.size());
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
  return Finish(std::u16string(text), kEncodingNarrow, std::u16string::npos);
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

enum : std::uint8_t { kStart = 1, kName = 2 };

constexpr std::array<std::uint8_t, 128> kAsciiName = [] {
  std::array<std::uint8_t, 128> table{};
  for (char16_t c = u'a'; c <= u'z'; ++c)
    table[c] = table[c - 32] = kStart | kName;
  for (char16_t c = u'0'; c <= u'9'; ++c)
    table[c] = kName;
  table[u':'] = table[u'_'] = kStart | kName;
  table[u'-'] = table[u'.'] = kName;
  return table;
}();

}  // namespace

bool IsXmlNameStart(char16_t c) {
  return c < 0x80 ? (kAsciiName[c] & kStart) != 0 : InRanges(c, kNameStartRanges);
}

bool IsXmlNameChar(char16_t c) {
  return c < 0x80 ? (kAsciiName[c] & kName) != 0
                  : InRanges(c, kNameStartRanges) || InRanges(c, kNameOnlyRanges);
}

std::size_t XmlNameLength(std::u16string_view text, bool nameToken) {
  std::size_t i = 0;
  while (i < text.size()) {
    const char16_t c = text[i];
    if (c < 0x80) {
      if ((kAsciiName[c] & (i == 0 && !nameToken ? kStart : kName)) == 0) break;
      ++i;
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF) {
      // A pair for U+10000 to U+EFFFF; the text holds only whole pairs.
      if (c > 0xDB7F) break;
      i += 2;
      continue;
    }
    if (!(i == 0 && !nameToken ? IsXmlNameStart(c) : IsXmlNameChar(c))) break;
    ++i;
  }
  return i;
}

}  // namespace kestrelwing::detail
