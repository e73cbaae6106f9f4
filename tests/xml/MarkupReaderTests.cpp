// The markup grammar: what the reader's dialect accepts and the tree it builds from it.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include <kestrelwing/cXml.h>

#include "MarkupReader.h"
#include "ParseErrors.h"
#include "ReaderTesting.h"

namespace kestrelwing {
namespace {

using testing::FailureOf;
using testing::Parses;

TEST(MarkupTest, BuildsDeclarationRootPropertiesChildrenAndText) {
  cXml document;
  ASSERT_TRUE(Parses(document,
                     u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- generated -->\r\n"
                     u"<assembly manifestVersion=\"1.0\" xmlns=\"urn:schemas\">\r\n"
                     u"  <file name=\"a.dll\">\r\n"
                     u"    <comClass clsid=\"{1}\" threadingModel=\"Apartment\"/>\r\n"
                     u"    <comClass clsid=\"{2}\"/>\r\n"
                     u"  </file>\r\n"
                     u"  <description>  Some &lt;text&gt;  </description>\r\n"
                     u"</assembly>\r\n"));
  const NodeRef declaration = document.XMLNode();
  ASSERT_NE(declaration, nullptr);
  EXPECT_EQ(declaration->Name(), u"xml");
  ASSERT_EQ(declaration->PropertyCount(), 2);
  EXPECT_EQ(declaration->PropertyName(1), u"version");
  EXPECT_EQ(declaration->PropertyValue(u"encoding"), u"UTF-8");

  EXPECT_EQ(document.RootName(), u"assembly");
  EXPECT_EQ(document.PropertyName(2), u"xmlns");
  ASSERT_EQ(document.NodeCount(), 2);
  const NodeRef file = document.Node(1);
  EXPECT_EQ(file->PropertyValue(u"name"), u"a.dll");
  ASSERT_EQ(file->NodeCount(), 2);
  EXPECT_EQ(file->Node(1)->Name(), u"comClass");
  EXPECT_EQ(file->Node(1)->PropertyValue(u"threadingModel"), u"Apartment");
  EXPECT_EQ(file->Node(2)->PropertyValue(u"clsid"), u"{2}");
  EXPECT_EQ(file->Value(), u"");
  // Text loses its leading whitespace, keeps its trailing whitespace, and is unescaped.
  EXPECT_EQ(document.Node(2)->Value(), u"Some <text>  ");
}

TEST(MarkupTest, AttributeValuesAndTextAreUnescapedOnce) {
  cXml document;
  ASSERT_TRUE(
      Parses(document, u"<a x=\"&amp;lt; &quot;q&quot; &#60; &nbsp; &LT;\">&amp;amp; &apos;</a>"));
  EXPECT_EQ(document.PropertyValue(u"x"), u"&lt; \"q\" &#60; &nbsp; &LT;");
  EXPECT_EQ(document.RootValue(), u"&amp; '");
}

TEST(MarkupTest, AttributeListForms) {
  cXml document;
  // Values keep markup characters, tabs and line breaks; no blank is needed between attributes
  // nor before '='; empty names and values are kept.
  ASSERT_TRUE(Parses(document, u"<a x=\"1>2<3\t\r\nz\"y =\"\" =\"n\"/>"));
  ASSERT_EQ(document.PropertyCount(), 3);
  EXPECT_EQ(document.PropertyValue(u"x"), u"1>2<3\t\r\nz");
  EXPECT_EQ(document.PropertyName(2), u"y");
  EXPECT_EQ(document.PropertyValue(u"y", u"absent"), u"");
  EXPECT_EQ(document.PropertyName(3), u"");
  EXPECT_EQ(document.PropertyValue(u""), u"n");

  // A name repeated in another letter case keeps its first spelling and its last value.
  ASSERT_TRUE(Parses(document, u"<a Id=\"1\" ID=\"2\" id=\"3\"/>"));
  ASSERT_EQ(document.PropertyCount(), 1);
  EXPECT_EQ(document.PropertyName(1), u"Id");
  EXPECT_EQ(document.PropertyValue(u"id"), u"3");

  // Only double quotes delimit values, right after the '='.
  EXPECT_EQ(FailureOf(u"<a x='1'/>"), "Expected: \" at line 1 [6]");
  EXPECT_EQ(FailureOf(u"<a x= \"1\"/>"), "Expected: \" at line 1 [6]");
  EXPECT_EQ(FailureOf(u"<a x/>"), "Expected: = at line 1 [5]");
}

// Read as bytes, a start tag of plain attributes gets its table in one step, any other through
// the batch; read as text, every tag takes the batch. Both must give the same properties.
TEST(MarkupTest, AttributeListsReadAsBytesAndAsTextAgree) {
  // Names differ in their last letter.
  const auto withAttributes = [](int count, std::u16string_view value = u"v") {
    std::u16string tag = u"<a";
    for (int i = 0; i < count; ++i)
      tag += u" n" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u"=\"" +
             std::u16string(value) + u"\"";
    return tag + u"/>";
  };
  const std::u16string cases[] = {
      u"<a Id=\"1\" ID=\"2\" id=\"3\"/>",           // repeated ignoring case
      u"<a x=\"1\" y=\"two words\" z=\"\"/>",       // plain
      u"<a x=\"1\" y=\"a&amp;b\" z=\"3\"/>",        // a reference in the middle
      u"<a x=\"1\"\r\n  y=\"2\"\tz=\"\u00E9\"/>",   // line break, tab, non-ASCII
      u"<?xml version=\"1.0\"?><a x=\"1\"?>t</a>",  // '?' after a value
      u"<a x=\"1\" X=\"2\"><b x=\"3\"/></a>",       // a repeat, then a fresh tag
      // every reference, an unknown one, a lone '&', one without its ';'
      u"<a x=\"&lt;&gt;&amp;&quot;&apos;\" y=\"&unknown; & &amp\" z=\"&amp;amp;\"/>",
      withAttributes(15),
      withAttributes(16),
      withAttributes(17),
      withAttributes(17, u"a&amp;b"),
  };
  for (const std::u16string& text : cases) {
    cXml fromText;
    cXml fromBytes;
    ASSERT_TRUE(Parses(fromText, text)) << ToUtf8(text);
    const std::string utf8 = ToUtf8(text);
    ASSERT_TRUE(fromBytes.Parse(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size())))
        << utf8 << ": " << ToUtf8(fromBytes.Result());
    ASSERT_EQ(fromBytes.PropertyCount(), fromText.PropertyCount()) << utf8;
    for (std::int32_t i = 1; i <= fromText.PropertyCount(); ++i) {
      EXPECT_EQ(fromBytes.PropertyName(i), fromText.PropertyName(i)) << utf8;
      EXPECT_EQ(fromBytes.PropertyValue(fromText.PropertyName(i)),
                fromText.PropertyValue(fromText.PropertyName(i)))
          << utf8;
    }
  }
}

TEST(MarkupTest, EmptyContentFormsGiveTheSameNode) {
  for (const char16_t* text : {u"<a/>", u"<a></a>", u"<a>   </a>", u"<a >\r\n</a >", u"<a/ >"}) {
    cXml document;
    if (std::u16string_view(text) == u"<a/ >") {
      // A blank inside "/>" is the one form that fails.
      EXPECT_EQ(FailureOf(text), "Expected: > at line 1 [4]");
      continue;
    }
    ASSERT_TRUE(Parses(document, text)) << ToUtf8(text);
    EXPECT_EQ(document.RootName(), u"a");
    EXPECT_EQ(document.RootValue(), u"");
    EXPECT_EQ(document.NodeCount(), 0);
  }
}

TEST(MarkupTest, CommentsAreSkippedWhereTheGrammarLooksForThem) {
  cXml document;
  ASSERT_TRUE(Parses(document, u"<!--a--> <!--b-->\r\n<r><!-- one -- two --->text </r><!--x"));
  EXPECT_EQ(document.RootValue(), u"text ");

  ASSERT_TRUE(Parses(document, u"<r><!--1--><a/> <!--2--><!--3-->\r\n<b/><!--4--></r>"));
  ASSERT_EQ(document.NodeCount(), 2);
  EXPECT_EQ(document.Node(2)->Name(), u"b");

  // Between text and the end tag, or after a CDATA section, a comment is not looked for.
  EXPECT_EQ(FailureOf(u"<a>t<!--c--></a>"), "Expected: / at line 1 [6]");
  EXPECT_EQ(FailureOf(u"<a><![CDATA[x]]><!--c--></a>"), "Expected: / at line 1 [19]");
  // An unterminated comment swallows the rest of the source.
  EXPECT_EQ(FailureOf(u"<!-- <a/>"), "Expected: < at line 1 [9]");
}

TEST(MarkupTest, TextMixedWithChildrenFails) {
  EXPECT_EQ(FailureOf(u"<a>t<b/></a>"), "Expected: / at line 1 [6]");
  EXPECT_EQ(FailureOf(u"<a><b/>t</a>"), "Expected: < at line 1 [9]");
}

TEST(MarkupTest, CDataSectionsKeepTheirMarkersAndContent) {
  cXml document;
  // The marker in any letter case; whitespace at the content's start is dropped; the content
  // is not unescaped.
  ASSERT_TRUE(Parses(document, u"<a><![cdata[  x &amp; <y> ]]]]>  </a>"));
  EXPECT_EQ(document.RootValue(), u"<![CDATA[x &amp; <y> ]]]]>");
  EXPECT_EQ(document.Content(), ContentCData);

  // After the children, the section becomes the value.
  ASSERT_TRUE(Parses(document, u"<a><b/><![CDATA[z]]></a>"));
  EXPECT_EQ(document.NodeCount(), 1);
  EXPECT_EQ(document.RootValue(), u"<![CDATA[z]]>");

  // A "<!" that is not the marker reads as a child named with a leading '!'.
  ASSERT_TRUE(Parses(document, u"<a><!b/></a>"));
  EXPECT_EQ(document.Node(1)->Name(), u"!b");
  EXPECT_EQ(FailureOf(u"<a><![CDATA[x]]><b/></a>"), "Expected: / at line 1 [19]");
}

// Elements of one name share it behind the scenes; each node still has its own name. Many
// different names (more than the reader keeps at hand) each arrive as written.
TEST(MarkupTest, ElementsOfOneNameKeepTheirOwnName) {
  const auto numbered = [](int i) {
    std::u16string name = u"n";
    name += FromUtf8(std::to_string(i));
    return name;
  };
  std::u16string text = u"<r><a/><a/><A/>";
  for (int i = 0; i < 1000; ++i) {
    text += u'<';
    text += numbered(i);
    text += u"/><a/>";
  }
  text += u"</r>";
  const std::string bytes = ToUtf8(text);
  cXml fromText;
  cXml fromBytes;
  ASSERT_TRUE(Parses(fromText, text));
  ASSERT_TRUE(fromBytes.Parse(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
  for (cXml* document : {&fromText, &fromBytes}) {
    const NodeRef first = document->Node(1);
    first->SetName(u"renamed");
    EXPECT_EQ(document->Node(2)->Name(), u"a");
    EXPECT_EQ(document->Node(3)->Name(), u"A");
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(document->Node(4 + 2 * i)->Name(), numbered(i));
      ASSERT_EQ(document->Node(5 + 2 * i)->Name(), u"a");
    }
    EXPECT_EQ(first->Name(), u"renamed");
  }
}

// The names that a thread's readers made serve its next documents too, by their exact spelling.
TEST(MarkupTest, NamesServeTheNextDocumentByTheirExactSpelling) {
  const auto parse = [](cXml& document, std::u16string_view text, bool asBytes) {
    if (!asBytes) return document.Parse(text);
    const std::string bytes = ToUtf8(text);
    return document.Parse(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  };
  for (const bool asBytes : {false, true}) {
    cXml first;
    cXml second;
    ASSERT_TRUE(parse(first, u"<assembly><file/></assembly>", asBytes));
    ASSERT_TRUE(parse(second, u"<Assembly><file/></Assembly>", asBytes));
    EXPECT_EQ(second.RootName(), u"Assembly");
    EXPECT_NE(&second.Root()->Name(), &first.Root()->Name());
    EXPECT_EQ(&second.Node(1)->Name(), &first.Node(1)->Name()) << asBytes;  // made once
  }
}

TEST(MarkupTest, EndTagsMatchIgnoringLetterCase) {
  cXml document;
  ASSERT_TRUE(Parses(document, u"<Ab><cD>x</CD></aB>"));
  EXPECT_EQ(document.RootName(), u"Ab");
  EXPECT_EQ(document.Node(1)->Name(), u"cD");
  EXPECT_EQ(document.Node(1)->Value(), u"x");
}

// An end tag matches only the whole name, wherever it stands; read as text or as bytes.
TEST(MarkupTest, EndTagsMatchOnlyTheWholeName) {
  const std::pair<std::u16string_view, std::string_view> cases[] = {
      {u"<ab></abc>", "Mismatched tag: 'ab' at line 1 [9]"},
      {u"<abc></ab>", "Mismatched tag: 'abc' at line 1 [9]"},
      {u"<ab>x</a>", "Mismatched tag: 'ab' at line 1 [7]"},
      {u"<ab>x</ab", "Mismatched tag: 'ab' at line 1 [7]"},
      {u"<ab>x</ab ", "Expected: > at line 1 [10]"},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_EQ(FailureOf(text), message) << ToUtf8(text);
    const std::string bytes = ToUtf8(text);
    cXml document;
    EXPECT_FALSE(document.Parse(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
    EXPECT_EQ(ToUtf8(document.Result()), message) << bytes;
  }
  cXml document;
  ASSERT_TRUE(Parses(document, u"<a><b></b ><c>x</C ></a >"));
  EXPECT_EQ(document.NodeCount(), 2);
}

TEST(MarkupTest, NothingAfterTheRootElementIsRead) {
  for (const char16_t* text :
       {u"<a/><b/>", u"<a></a> junk <<", u"<a/><!-- open", u"<a/>\r\n</b>"}) {
    cXml document;
    EXPECT_TRUE(Parses(document, text));
    EXPECT_EQ(document.RootName(), u"a");
    EXPECT_EQ(document.NodeCount(), 0);
  }
}

TEST(MarkupTest, BlanksAfterTheOpeningBracket) {
  cXml document;
  ASSERT_TRUE(Parses(document, u"<a>< b/>\r\n< /a>"));
  EXPECT_EQ(document.Node(1)->Name(), u"b");
  // The root's name is read right after '<': the blank leaves it nameless, and its name then
  // reads as an attribute without '='.
  EXPECT_EQ(FailureOf(u"< a/>"), "Expected: = at line 1 [4]");
  // Start and end tags may have no name at all.
  ASSERT_TRUE(Parses(document, u"<></>"));
  EXPECT_EQ(document.RootName(), u"");
}

TEST(MarkupTest, DeclarationForms) {
  cXml document;
  ASSERT_TRUE(Parses(document, u"<?XmL version=\"1.0\"?>\r\n<!-- c -->\r\n<a/>"));
  EXPECT_EQ(document.XMLNode()->Name(), u"xml");
  EXPECT_EQ(FailureOf(u"<?php echo?><a/>"), "Expected: xml at line 1 [7]");
  EXPECT_EQ(FailureOf(u"<?xml?><a/>"), "Expected: = at line 1 [6]");
  EXPECT_EQ(FailureOf(u"<?xml version=\"1.0\"?>"), "Expected: < at line 1 [21]");
  // Any "<!" markup reads as an element and fails at its first word without '='.
  EXPECT_EQ(FailureOf(u"<!DOCTYPE a><a/>"), "Expected: = at line 1 [12]");
}

TEST(MarkupTest, QuestionMarkAfterAttributeValuesOnlyWithADeclaration) {
  cXml document;
  ASSERT_TRUE(Parses(document, u"<?xml version=\"1.0\"?><a x=\"1\"?><b y=\"2\"?/></a>"));
  EXPECT_EQ(document.Node(1)->PropertyValue(u"y"), u"2");
  EXPECT_EQ(FailureOf(u"<a x=\"1\"?></a>"), "Expected: = at line 1 [9]");

  // A declaration kept from an earlier parse does not count for the next source.
  ASSERT_TRUE(Parses(document, u"<?xml version=\"1.0\"?><a/>"));
  const NodeRef declaration = document.XMLNode();
  ASSERT_TRUE(Parses(document, u"<b/>"));
  EXPECT_EQ(document.XMLNode(), declaration);
  EXPECT_FALSE(document.Parse(u"<b x=\"1\"?/>"));
}

TEST(MarkupTest, NestingDepthIsBoundedByMemoryNotByTheStack) {
  constexpr int kDepth = 1'000'000;
  std::u16string text;
  text.reserve(kDepth * 7);
  for (int i = 0; i < kDepth; ++i)
    text += u"<d>";
  for (int i = 0; i < kDepth; ++i)
    text += u"</d>";

  cXml document;
  ASSERT_TRUE(Parses(document, text));
  int depth = 1;
  for (NodeRef node = document.Root(); node->NodeCount() == 1; node = node->Node(1))
    ++depth;
  EXPECT_EQ(depth, kDepth);
  document.SetRoot(nullptr);  // releases the whole chain

  // A deep document that fails releases its half-built elements as well.
  text.resize(kDepth * 3 + 3);
  EXPECT_FALSE(document.Parse(text));
  EXPECT_EQ(document.NodeCount(), 0);
}

TEST(MarkupTest, SyntaxErrorsCarryTheirNumberAndSource) {
  try {
    detail::ParseMarkup(u"<a></b>");
    FAIL() << "a mismatched end tag was accepted";
  } catch (const detail::ParseError& error) {
    EXPECT_EQ(error.number, detail::ParseErrorMismatch);
    EXPECT_EQ(error.source, u"XMLParser");
    EXPECT_EQ(error.description, u"Mismatched tag: 'a' at line 1 [6]");
  }
}

}  // namespace
}  // namespace kestrelwing
