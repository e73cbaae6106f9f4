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

std::u16string UnescapeMarkup(std::u16string_view text) {
  std::u16string out(text);
  out.resize(UnescapeInPlace(out.data(), out.size()));
  return out;
}

}  // namespace kestrelwing::detail
