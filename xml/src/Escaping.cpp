// Escaping and unescaping of the five predefined entities, each in one left-to-right pass.
//
// Unescaping in one pass gives the same result as replacing the entities one after the other with
// &amp; last: every entity text starts with '&', ends with ';' and holds neither inside, so two
// entity texts never overlap, and no replacement can create a new entity text from its
// neighbours. Only the '&' that &amp; produces could, and those are never looked at again.
#include "Escaping.h"

#include <algorithm>
#include <cstdint>

namespace kestrelwing::detail {
namespace {

// The five characters to escape all lie below U+0040: one bit each in a 64-bit mask.
constexpr std::uint64_t kMarkupCharacters =
    (1ull << u'&') | (1ull << u'\'') | (1ull << u'"') | (1ull << u'<') | (1ull << u'>');

constexpr bool IsMarkupCharacter(char16_t c) {
  return c < 64 && ((kMarkupCharacters >> c) & 1) != 0;
}

constexpr std::u16string_view EntityOf(char16_t c) {
  switch (c) {
    case u'&':
      return u"&amp;";
    case u'\'':
      return u"&apos;";
    case u'"':
      return u"&quot;";
    case u'<':
      return u"&lt;";
    default:
      return u"&gt;";
  }
}

struct Entity {
  std::u16string_view name;  // the text between '&' and ';'
  char16_t character;
};

constexpr Entity kEntities[] = {
    {u"amp", u'&'}, {u"apos", u'\''}, {u"quot", u'"'}, {u"lt", u'<'}, {u"gt", u'>'}};

}  // namespace

void AppendEscapedMarkup(std::u16string& out, std::u16string_view text) {
  const char16_t* run = text.data();
  const char16_t* const end = run + text.size();
  for (const char16_t* p = run; p != end; ++p) {
    if (!IsMarkupCharacter(*p)) continue;
    out.append(run, p);
    out.append(EntityOf(*p));
    run = p + 1;
  }
  out.append(run, end);
}

std::u16string EscapeMarkup(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  AppendEscapedMarkup(out, text);
  return out;
}

// Writing never overtakes reading: every reference is longer than its character.
std::size_t UnescapeInPlace(char16_t* text, std::size_t length) {
  const std::u16string_view source(text, length);
  std::size_t written = 0;
  std::size_t run = 0;
  for (std::size_t amp = source.find(u'&'); amp != std::u16string_view::npos;
       amp = source.find(u'&', amp)) {
    const std::u16string_view rest = source.substr(amp + 1);
    const Entity* match = std::find_if(std::begin(kEntities), std::end(kEntities), [&](auto& e) {
      return rest.size() > e.name.size() && rest.starts_with(e.name) && rest[e.name.size()] == u';';
    });
    if (match == std::end(kEntities)) {
      ++amp;
      continue;
    }
    written = std::copy(text + run, text + amp, text + written) - text;
    text[written++] = match->character;
    amp += match->name.size() + 2;
    run = amp;
  }
  return std::copy(text + run, text + length, text + written) - text;
}

std::size_t CharacterReferenceLength(std::u16string_view text) {
  if (text.size() < 4 || text[0] != u'&' || text[1] != u'#') return 0;
  const bool hex = text[2] == u'x';
  std::size_t i = hex ? 3 : 2;
  const std::size_t digits = i;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    const bool digit =
        (c >= u'0' && c <= u'9') || (hex && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
    if (!digit) break;
  }
  return i > digits && i < text.size() && text[i] == u';' ? i + 1 : 0;
}

std::u16string CharacterReference(char32_t codePoint) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + codePoint % 10));
    codePoint /= 10;
  } while (codePoint != 0);
  return u"&#" + digits + u";";
}

std::u16string EscapeForWriting(std::u16string_view text, Escapes escapes) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (escapes == Escapes::Dialect && c == u'&') {
      const std::size_t reference = CharacterReferenceLength(text.substr(i));
      if (reference != 0) {
        out.append(text.substr(i, reference));
        i += reference - 1;
        continue;
      }
    }
    if (IsMarkupCharacter(c)) {
      out.append(EntityOf(c));
    } else if (escapes != Escapes::Dialect &&
               (c == u'\r' || (escapes == Escapes::Xml10Attribute && (c == u'\t' || c == u'\n')))) {
      out.append(CharacterReference(c));
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::u16string UnescapeMarkup(std::u16string_view text) {
  std::u16string out(text);
  out.resize(UnescapeInPlace(out.data(), out.size()));
  return out;
}

}  // namespace kestrelwing::detail
