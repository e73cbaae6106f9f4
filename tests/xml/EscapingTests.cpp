#include <kestrelwing/cXmlNode.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "Escaping.h"

namespace kestrelwing::detail {
namespace {

struct Case {
  std::u16string_view input;
  std::u16string_view expected;
};

TEST(EscapeMarkup, ReplacesTheFiveMarkupCharactersAndNothingElse) {
  const Case cases[] = {
      {u"", u""},
      {u"plain text é€ 日本", u"plain text é€ 日本"},
      {u"a<b & 'c'", u"a&lt;b &amp; &apos;c&apos;"},
      {u"\"<>&'", u"&quot;&lt;&gt;&amp;&apos;"},
      {u"&lt;", u"&amp;lt;"},
      {u"&#38;", u"&amp;#38;"},
      {u"&&", u"&amp;&amp;"},
      {u">x<", u"&gt;x&lt;"},
      {u"\r\n\t", u"\r\n\t"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(EscapeMarkup(input), expected) << "input: " << ToUtf8(input);
  }
}

TEST(EscapeMarkup, AppendsBehindWhatTheBufferAlreadyHolds) {
  std::u16string out = u"<a v=\"";
  AppendEscapedMarkup(out, u"x\"y");
  AppendEscapedMarkup(out, u"");
  AppendEscapedMarkup(out, u"&");
  EXPECT_EQ(out, u"<a v=\"x&quot;y&amp;");
}

TEST(UnescapeMarkup, ReplacesTheFiveEntitiesOnceWithAmpersandLast) {
  const Case cases[] = {
      {u"", u""},
      {u"a&lt;b &amp; &apos;c&apos;", u"a<b & 'c'"},
      {u"&quot;&gt;&lt;", u"\"><"},
      {u"&amp;lt;", u"&lt;"},
      {u"&amp;amp;", u"&amp;"},
      {u"&amp;apos;&amp;quot;", u"&apos;&quot;"},
      {u"&&lt;", u"&<"},
      {u"&lt;&lt;&lt;", u"<<<"},
      {u"x&gt", u"x&gt"},
      {u"&lt", u"&lt"},
      {u"&", u"&"},
      {u"a & b", u"a & b"},
      {u"&;", u"&;"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(UnescapeMarkup(input), expected) << "input: " << ToUtf8(input);
  }
}

TEST(UnescapeMarkup, LeavesUnknownAndDifferentlyCasedReferencesAlone) {
  for (const std::u16string_view text : {u"&LT;", u"&Amp;", u"&QUOT;", u"&#60;", u"&#x3C;",
                                         u"&nbsp;", u"&eacute;", u"& lt;", u"&lt ;", u"&ampx;"}) {
    EXPECT_EQ(UnescapeMarkup(text), text) << "input: " << ToUtf8(text);
  }
}

TEST(UnescapeMarkup, InPlaceLeavesWhatFollowsTheTextAlone) {
  std::u16string buffer = u"&lt;x&gt; &amp;&amp;|tail &lt;";
  const std::size_t length = buffer.find(u'|');
  const std::size_t written = UnescapeInPlace(buffer.data(), length);
  EXPECT_EQ(buffer.substr(0, written), u"<x> &&");
  EXPECT_EQ(buffer.substr(length), u"|tail &lt;");
}

// Random texts drawn mostly from markup characters and pieces of entity texts, so that every
// kind of near miss appears, each checked against the one-replacement-at-a-time definition.
std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
  for (std::size_t at = text.find(from); at != std::u16string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::u16string RandomMarkupText(std::mt19937& random) {
  static const std::u16string_view pieces[] = {
      u"&", u";",  u"amp", u"lt", u"gt",    u"apos", u"quot", u"<",         u">",
      u"'", u"\"", u"a",   u"é",  u"&amp;", u"&lt;", u"#60",  u"\U0001F600"};
  std::u16string text;
  const int count = std::uniform_int_distribution<int>(0, 12)(random);
  for (int i = 0; i < count; ++i) {
    text += pieces[std::uniform_int_distribution<std::size_t>(0, std::size(pieces) - 1)(random)];
  }
  return text;
}

TEST(Escaping, AgreesWithStepwiseReplacementAndRoundTrips) {
  std::mt19937 random(20261208);
  for (int i = 0; i < 20000; ++i) {
    const std::u16string text = RandomMarkupText(random);
    std::u16string stepwise = text;
    for (const auto& [entity, character] : {std::pair{u"&apos;", u"'"},
                                            {u"&quot;", u"\""},
                                            {u"&gt;", u">"},
                                            {u"&lt;", u"<"},
                                            {u"&amp;", u"&"}}) {
      stepwise = ReplaceAll(stepwise, entity, character);
    }
    ASSERT_EQ(UnescapeMarkup(text), stepwise);
    ASSERT_EQ(UnescapeMarkup(EscapeMarkup(text)), text);
  }
}

// The writer's escaping in each syntax. The dialect keeps a well-formed character reference as
// it stands and escapes every other '&'; XML 1.0 escapes every '&' (its values hold no references)
// and what normalization would change.
TEST(EscapeForWriting, KeepsTheDialectsReferencesAndEscapesWhatXml10WouldNormalize) {
  struct Row {
    std::u16string_view input;
    std::u16string_view dialect;
    std::u16string_view text;       // Xml10Text
    std::u16string_view attribute;  // Xml10Attribute
  };
  const Row rows[] = {
      {u"", u"", u"", u""},
      {u"a<b>'\"&", u"a&lt;b&gt;&apos;&quot;&amp;", u"a&lt;b&gt;&apos;&quot;&amp;",
       u"a&lt;b&gt;&apos;&quot;&amp;"},
      {u"&#169;", u"&#169;", u"&amp;#169;", u"&amp;#169;"},
      {u"Contoso&#x2E;Ledger", u"Contoso&#x2E;Ledger", u"Contoso&amp;#x2E;Ledger",
       u"Contoso&amp;#x2E;Ledger"},
      {u"&#xaF09;&#0;", u"&#xaF09;&#0;", u"&amp;#xaF09;&amp;#0;", u"&amp;#xaF09;&amp;#0;"},
      {u"&#X41;", u"&amp;#X41;", u"&amp;#X41;", u"&amp;#X41;"},  // only a lower-case x
      {u"&#;&#x;&#12a;&#169", u"&amp;#;&amp;#x;&amp;#12a;&amp;#169",
       u"&amp;#;&amp;#x;&amp;#12a;&amp;#169", u"&amp;#;&amp;#x;&amp;#12a;&amp;#169"},
      {u"&#xG;&lt;&amp;", u"&amp;#xG;&amp;lt;&amp;amp;", u"&amp;#xG;&amp;lt;&amp;amp;",
       u"&amp;#xG;&amp;lt;&amp;amp;"},
      {u"&&#10;&", u"&amp;&#10;&amp;", u"&amp;&amp;#10;&amp;", u"&amp;&amp;#10;&amp;"},
      {u"a\r\nb\tc", u"a\r\nb\tc", u"a&#13;\nb\tc", u"a&#13;&#10;b&#9;c"},
      {u"\u00E9\U0001F600 ", u"\u00E9\U0001F600 ", u"\u00E9\U0001F600 ", u"\u00E9\U0001F600 "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(ToUtf8(row.input));
    EXPECT_EQ(EscapeForWriting(row.input, Escapes::Dialect), row.dialect);
    EXPECT_EQ(EscapeForWriting(row.input, Escapes::Xml10Text), row.text);
    EXPECT_EQ(EscapeForWriting(row.input, Escapes::Xml10Attribute), row.attribute);
  }
}

TEST(CharacterReference, IsRecognizedOnlyWhenWellFormedAndWrittenInDecimal) {
  const std::pair<std::u16string_view, std::size_t> lengths[] = {
      {u"&#1;", 4},   {u"&#169;x", 6}, {u"&#x2e;", 6}, {u"&#xA9;;", 6}, {u"&#", 0},
      {u"&#x", 0},    {u"&#;", 0},     {u"&#x;", 0},   {u"&#1", 0},     {u"&#-1;", 0},
      {u"&#x1g;", 0}, {u"&amp;", 0},   {u"#1;", 0},    {u"&#X1;", 0},   {u"", 0},
  };
  for (const auto& [text, length] : lengths) {
    EXPECT_EQ(CharacterReferenceLength(text), length) << ToUtf8(text);
  }
  EXPECT_EQ(CharacterReference(U'\r'), u"&#13;");
  EXPECT_EQ(CharacterReference(0), u"&#0;");
  EXPECT_EQ(CharacterReference(0x1F600), u"&#128512;");
}

}  // namespace
}  // namespace kestrelwing::detail
