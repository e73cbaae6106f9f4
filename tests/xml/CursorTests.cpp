// The reader's cursor: reads at and past the end, line and column counting, character classes,
// and the runs it cuts out of the text.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Cursor.h"
#include "ParseErrors.h"

namespace kestrelwing::detail {
namespace {

// A cursor on text with its first character read, as the grammar starts.
Cursor Started(std::u16string_view text) {
  Cursor cursor(text);
  cursor.Advance();
  return cursor;
}

TEST(CursorTest, NameCharactersAreAsciiLettersDigitsAndNineSymbols) {
  for (char16_t c : std::u16string_view(u"azAZ09`!@#$^_-:")) {
    EXPECT_TRUE(IsNameChar(c)) << static_cast<int>(c);
  }
  for (char16_t c : std::u16string_view(u".é€ \t\r\n<>=\"'/?&%*;[]{}\u0100\u0161")) {
    EXPECT_FALSE(IsNameChar(c)) << static_cast<int>(c);
  }
  // A code unit whose low byte is a name character is not one itself.
  EXPECT_FALSE(IsNameChar(u'\u0141'));    // low byte 'A'
  EXPECT_FALSE(IsWhitespace(u'\u0120'));  // low byte ' '
  EXPECT_TRUE(IsLetter(u'q') && IsLetter(u'Q'));
  EXPECT_FALSE(IsLetter(u'é') || IsLetter(u'@') || IsLetter(u'['));
  EXPECT_TRUE(IsDigit(u'0') && IsDigit(u'9'));
  EXPECT_FALSE(IsDigit(u'/') || IsDigit(u':') || IsDigit(u'\u0661'));
}

TEST(CursorTest, ReadsAtAndPastTheEnd) {
  Cursor empty(u"");
  EXPECT_TRUE(empty.AtEnd());
  empty.Advance();
  EXPECT_EQ(empty.Current(), u' ');
  EXPECT_EQ(empty.Position(), 0u);
  EXPECT_EQ(empty.Column(), 0);

  Cursor cursor(u"ab");
  cursor.Advance();
  EXPECT_FALSE(cursor.AtEnd());
  cursor.Advance();
  // The last character has been read: the end is reached while it is still current.
  EXPECT_TRUE(cursor.AtEnd());
  EXPECT_EQ(cursor.Current(), u'b');
  EXPECT_EQ(cursor.Position(), 2u);
  EXPECT_EQ(cursor.Column(), 2);
  cursor.Advance();
  EXPECT_EQ(cursor.Current(), u' ');
  EXPECT_EQ(cursor.Position(), 2u);
  EXPECT_EQ(cursor.Column(), 2);
}

TEST(CursorTest, PeekClampsItsRangeAndNeverMoves) {
  const struct {
    std::ptrdiff_t start;
    std::size_t count;
    std::u16string_view expected;
  } cases[] = {{-1, 2, u"ab"}, {1, 5, u"bc"}, {3, 1, u""}, {99, 1, u""}};
  Cursor cursor = Started(u"abc");
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "Peek(" << c.start << ", " << c.count << ")");
    EXPECT_EQ(cursor.Peek(c.start, c.count), c.expected);
  }
  EXPECT_EQ(cursor.Position(), 1u);
  EXPECT_EQ(cursor.Current(), u'a');
}

TEST(CursorTest, RereadAndSkipAddToTheColumn) {
  Cursor cursor = Started(u"<abcdef");
  cursor.Expect(u'<');
  EXPECT_EQ(cursor.Column(), 2);
  cursor.Reread();
  EXPECT_EQ(cursor.Current(), u'a');
  EXPECT_EQ(cursor.Position(), 2u);
  EXPECT_EQ(cursor.Column(), 3);
  cursor.SkipAndAdvance(2);
  EXPECT_EQ(cursor.Current(), u'd');
  EXPECT_EQ(cursor.Column(), 6);
  // Skipping past the end leaves a space current and the end reached.
  cursor.SkipAndAdvance(10);
  EXPECT_TRUE(cursor.AtEnd());
  EXPECT_EQ(cursor.Current(), u' ');
}

TEST(CursorTest, ExpectIsCaseSensitiveAndReportsWhereItFailed) {
  Cursor cursor = Started(u"aA");
  cursor.Expect(u'a');
  try {
    cursor.Expect(u'a');
    FAIL() << "an upper-case A was accepted for a";
  } catch (const ParseError& error) {
    EXPECT_EQ(error.number, ParseErrorExpected);
    EXPECT_EQ(error.source, u"XMLParser");
    EXPECT_EQ(error.description, u"Expected: a at line 1 [2]");
  }
}

TEST(CursorTest, LinesCountCarriageReturnsOnly) {
  // After a CR LF pair the line feed is column 1 of the new line.
  Cursor crlf = Started(u"\r\n  x");
  crlf.SkipWhitespace();
  EXPECT_EQ(crlf.Current(), u'x');
  EXPECT_EQ(crlf.Line(), 2);
  EXPECT_EQ(crlf.Column(), 4);

  Cursor bare = Started(u"\n\n\n x");
  bare.SkipWhitespace();
  EXPECT_EQ(bare.Current(), u'x');
  EXPECT_EQ(bare.Line(), 1);
  EXPECT_EQ(bare.Column(), 5);

  Cursor text = Started(u"ab\rcd\r\ref<");
  EXPECT_EQ(text.ReadText(u'<').text, u"ab\rcd\r\ref");
  EXPECT_EQ(text.Line(), 4);
  EXPECT_EQ(text.Column(), 3);
}

TEST(CursorTest, SkipWhitespaceStopsAtTheEnd) {
  Cursor cursor = Started(u"   ");
  cursor.SkipWhitespace();
  EXPECT_TRUE(cursor.AtEnd());
  EXPECT_EQ(cursor.Column(), 3);
  cursor.Advance();
  cursor.SkipWhitespace();  // the space that now stands for "nothing" is not skipped
  EXPECT_EQ(cursor.Column(), 3);
  EXPECT_EQ(cursor.Position(), 3u);
}

TEST(CursorTest, ReadNameTakesWholeRunsAndSkipsWhitespaceAfter) {
  const struct {
    std::u16string_view text;
    std::u16string_view name;
    char16_t current;  // after the name and the whitespace behind it
    std::int64_t line;
    bool atEnd;
  } cases[] = {
      {u"a.b ", u"a", u'.', 1, false},
      {u"9x-:`$ \t\r\n=", u"9x-:`$", u'=', 2, true},
      {u"éa ", u"", u'é', 1, false},
      // The source's last character is never part of a name: the end is seen first.
      {u"abc", u"ab", u'c', 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(c.text)));
    Cursor cursor = Started(c.text);
    EXPECT_EQ(cursor.ReadName(), c.name);
    EXPECT_EQ(cursor.Current(), c.current);
    EXPECT_EQ(cursor.Line(), c.line);
    EXPECT_EQ(cursor.AtEnd(), c.atEnd);
  }
}

TEST(CursorTest, ReadTextStopsAtItsDelimiterAndNotesReferences) {
  const struct {
    std::u16string_view text;
    char delimiter;
    std::u16string_view run;
    bool hasReference;
    char16_t current;
    std::int64_t column;
    bool atEnd;
  } cases[] = {
      {u"a > b &amp; c<", '<', u"a > b &amp; c", true, u'<', 14, true},
      // Inside a quoted value '<' is ordinary text; whitespace after the delimiter is not skipped.
      {u"x<y\"  ", '"', u"x<y", false, u'"', 4, false},
      // Text that runs to the end loses the source's last character and skips nothing more.
      {u"  tail", '<', u"  tai", false, u'l', 6, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::u16string(c.text)));
    Cursor cursor = Started(c.text);
    const TextRun run = cursor.ReadText(c.delimiter);
    EXPECT_EQ(run.text, c.run);
    EXPECT_EQ(run.hasReference, c.hasReference);
    EXPECT_EQ(cursor.Current(), c.current);
    EXPECT_EQ(cursor.Column(), c.column);
    EXPECT_EQ(cursor.AtEnd(), c.atEnd);
  }
}

TEST(CursorTest, ReadCDataStopsAtTheClosingMarkerOnly) {
  Cursor cursor = Started(u"a]]b]>\r\nc]]>tail");
  EXPECT_EQ(cursor.ReadCData(), u"a]]b]>\r\nc");
  EXPECT_EQ(cursor.Peek(static_cast<std::ptrdiff_t>(cursor.Position()) - 1, 3), u"]]>");
  EXPECT_EQ(cursor.Line(), 2);
  EXPECT_EQ(cursor.Column(), 3);

  Cursor open = Started(u"abc]]");
  EXPECT_EQ(open.ReadCData(), u"abc]");
  EXPECT_TRUE(open.AtEnd());
}

}  // namespace
}  // namespace kestrelwing::detail
