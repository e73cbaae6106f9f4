// Parse errors: the two message formats with their line and column, and the state a failed
// parse leaves behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <kestrelwing/cXml.h>

#include "ReaderTesting.h"

namespace kestrelwing {
namespace {

using testing::FailureOf;
using testing::Parses;

struct ErrorCase {
  std::u16string_view source;
  std::string_view message;
};

TEST(ParseErrorTest, MessagesGiveTheLineAndColumnWhereReadingStopped) {
  const ErrorCase cases[] = {
      {u"<a></b>", "Mismatched tag: 'a' at line 1 [6]"},
      {u"<a>", "Expected: < at line 1 [3]"},
      {u"xyz<a/>", "Expected: < at line 1 [1]"},
      {u"<a x='1'/>", "Expected: \" at line 1 [6]"},
      {u"<a>t<b/></a>", "Expected: / at line 1 [6]"},
      {u"<?xml?><a/>", "Expected: = at line 1 [6]"},
      {u"   ", "Expected: < at line 1 [3]"},
      {u"\r\n", "Expected: < at line 2 [1]"},
      // A mismatch reports its element's name as the start tag wrote it.
      {u"<Outer><inner></INNER></outr>", "Mismatched tag: 'Outer' at line 1 [30]"},
      // On later lines of a CR LF source the column is one more than the character's place.
      {u"<a>\r\n  <b>x</B>\r\n</c>", "Mismatched tag: 'a' at line 3 [4]"},
      // Bare line feeds are not counted: everything stays on line 1.
      {u"<a>\n\n</b>", "Mismatched tag: 'a' at line 1 [8]"},
      {u"<a><![CDATA[abc", "Mismatched tag: ']]>' at line 1 [14]"},
      // Columns count UTF-16 code units: the clef is two of them.
      {u"<a>\U0001D11E</b>", "Mismatched tag: 'a' at line 1 [7]"},
      // Carriage returns in attribute values, text and comments count as lines.
      {u"<a x=\"\r\"><!--\r-->t\r</b>", "Mismatched tag: 'a' at line 4 [2]"},
  };
  for (const ErrorCase& error : cases) {
    EXPECT_EQ(FailureOf(error.source), error.message) << ToUtf8(error.source);
    // Read as UTF-8 bytes, which keeps no place, a failing document is read again as text.
    const std::string bytes = ToUtf8(error.source);
    cXml document;
    EXPECT_FALSE(document.Parse(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
    EXPECT_EQ(ToUtf8(document.Result()), error.message) << bytes;
  }
  // So is a document in the single-byte code page (the E9 is no UTF-8).
  cXml narrow;
  const std::string_view bytes = "<a x=\"\xE9\r\">\r\n</b>";
  EXPECT_FALSE(
      narrow.Parse(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
  EXPECT_EQ(ToUtf8(narrow.Result()), "Mismatched tag: 'a' at line 3 [4]");
}

TEST(ParseErrorTest, EmptySourcesHaveTheirOwnMessage) {
  EXPECT_EQ(FailureOf(u""), "Unable to Parse Empty Data");
  cXml document;
  EXPECT_FALSE(document.Parse(std::span<const std::uint8_t>()));
  EXPECT_EQ(document.Result(), u"Unable to Parse Empty Data");
}

TEST(ParseErrorTest, AFailedParseLeavesAnEmptyRootAndNoDeclaration) {
  cXml document;
  ASSERT_TRUE(Parses(document, u"<?xml version=\"1.0\"?><old a=\"1\"><kept/></old>"));
  const NodeRef oldRoot = document.Root();

  // A child was complete before the error; nothing of the new tree is kept.
  EXPECT_FALSE(document.Parse(u"<?xml version=\"1.0\"?><a x=\"1\"><b/>text</a>"));
  EXPECT_EQ(ToUtf8(document.Result()), "Expected: < at line 1 [37]");
  EXPECT_EQ(document.XMLNode(), nullptr);
  const NodeRef failedRoot = document.Root();
  ASSERT_NE(failedRoot, nullptr);
  EXPECT_NE(failedRoot, oldRoot);
  EXPECT_EQ(failedRoot->Name(), u"cXmlNode");
  EXPECT_EQ(failedRoot->Value(), u"");
  EXPECT_EQ(failedRoot->NodeCount(), 0);
  EXPECT_EQ(failedRoot->PropertyCount(), 0);
  // A node handed out before stays whole for whoever holds it.
  EXPECT_EQ(oldRoot->Node(1)->Name(), u"kept");

  // A failure after the root was set to none still leaves a root.
  document.SetRoot(nullptr);
  EXPECT_FALSE(document.Parse(u"<a>"));
  ASSERT_NE(document.Root(), nullptr);

  // The next successful parse clears the message.
  ASSERT_TRUE(Parses(document, u"<a/>"));
  EXPECT_EQ(document.Result(), u"");
  EXPECT_EQ(document.RootName(), u"a");
}

}  // namespace
}  // namespace kestrelwing
