// The writer on trees built in memory: the exact text, the declaration's encoding, the byte
// encodings, block output, trees that are deep, wide or not trees at all, and the kinds of node
// beside elements in both syntaxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <kestrelwing/cXmlNode.h>

#include "Escaping.h"
#include "Writer.h"
#include "WriterTestSupport.h"

#ifdef KESTRELWING_HAVE_LIBXML2
#include <libxml/parser.h>
#include <libxml/tree.h>
#endif

namespace kestrelwing::detail {
namespace {

class StringSink final : public ByteSink {
 public:
  bool Write(std::string_view bytes) override {
    if (failAfter_ == 0) return false;
    --failAfter_;
    blocks_.emplace_back(bytes);
    text_.append(bytes);
    return true;
  }
  void FailAfter(int blocks) { failAfter_ = blocks; }
  const std::string& text() const { return text_; }
  const std::vector<std::string>& blocks() const { return blocks_; }

 private:
  int failAfter_ = -1;  // negative: never fail
  std::string text_;
  std::vector<std::string> blocks_;
};

NodeRef Element(std::u16string name, std::u16string value = u"") {
  NodeRef node = MakeNode();
  node->SetName(std::move(name));
  node->SetValue(std::move(value));
  return node;
}

NodeRef Declaration(std::initializer_list<std::pair<std::u16string, std::u16string>> properties) {
  NodeRef node = Element(u"xml");
  for (const auto& [name, value] : properties)
    node->SetPropertyValue(name, value);
  return node;
}

struct Written {
  WriteOutcome outcome;
  std::string bytes;
};

Written Write(const NodeRef& declaration, const NodeRef& root, WriteOptions options = {}) {
  StringSink sink;
  const WriteOutcome outcome = WriteDocument(declaration.get(), root.get(), options, sink);
  return {outcome, sink.text()};
}

std::string WriteUtf8(const NodeRef& declaration, const NodeRef& root, bool pretty = true,
                      std::int32_t identType = 1) {
  return Write(declaration, root, {.prettyPrint = pretty, .identType = identType, .encodingId = 1})
      .bytes;
}

// The document of the writer's reference example: a declaration, a root with a property, an
// empty element, escaped text, a CDATA section and a nested group.
struct ExampleDocument {
  NodeRef declaration = Declaration({{u"version", u"1.0"}, {u"encoding", u"UTF-8"}});
  NodeRef root = Element(u"config");

  ExampleDocument() {
    root->SetPropertyValue(u"version", u"2");
    NodeRef item = Element(u"item");
    item->SetPropertyValue(u"name", u"a");
    root->Add(item);
    root->Add(Element(u"note", u"x < y"));
    root->Add(Element(u"data", u"<![CDATA[1<2]]>"));
    NodeRef group = Element(u"group");
    NodeRef inner = Element(u"item");
    inner->SetPropertyValue(u"name", u"b");
    group->Add(inner);
    root->Add(group);
  }
};

TEST(SerializerTest, ReferenceExampleComesOutByteForByteInEveryLayout) {
  ExampleDocument document;
  const std::string_view tabs = testing::kReferenceExample;
  EXPECT_EQ(WriteUtf8(document.declaration, document.root, true, 1), tabs);
  EXPECT_EQ(WriteUtf8(document.declaration, document.root, true, 0), testing::WithSpaces(tabs));
  EXPECT_EQ(WriteUtf8(document.declaration, document.root, false, 1), testing::OnOneLine(tabs));
  EXPECT_EQ(WriteUtf8(document.declaration, document.root, false, 0), testing::OnOneLine(tabs));
}

TEST(SerializerTest, IndentsByDepthWithFourSpacesOrOneTabPerLevel) {
  NodeRef root = Element(u"a");
  NodeRef b = Element(u"b");
  NodeRef c = Element(u"c");
  root->Add(b);
  b->Add(c);
  c->Add(Element(u"d", u"deep"));
  const std::string spaces = WriteUtf8(nullptr, root, true, 0);
  EXPECT_NE(spaces.find("\r\n            <d>deep</d>\r\n"), std::string::npos) << spaces;
  EXPECT_NE(spaces.find("\r\n        </c>\r\n"), std::string::npos) << spaces;
  const std::string tabs = WriteUtf8(nullptr, root, true, 7);
  EXPECT_NE(tabs.find("\r\n\t\t\t<d>deep</d>\r\n"), std::string::npos) << tabs;
  EXPECT_EQ(tabs.find("    "), std::string::npos);
}

TEST(SerializerTest, WritesValuesAsTheNodeKindsRequire) {
  NodeRef root = Element(u"r");
  root->SetPropertyValue(u"q", u"say \"a & b\" <c> 'd'");
  root->Add(Element(u"text", u"a<b & c>d \"e\" 'f'"));
  root->Add(Element(u"blank", u"   "));
  root->Add(Element(u"lower", u"<![cdata[x < y & z]]>"));
  root->Add(Element(u"markup", u"<!-- <b> -->"));
  root->Add(Element(u"entity", u"&lt; &#38;"));
  NodeRef mixed = Element(u"mixed", u"lost text");
  mixed->Add(Element(u"child"));
  root->Add(mixed);
  NodeRef trailing = Element(u"trailing", u"<![CDATA[after <child>]]>");
  trailing->Add(Element(u"child"));
  root->Add(trailing);
  root->Add(Element(u"odd name!", u""));
  EXPECT_EQ(WriteUtf8(nullptr, root, false),
            "<r q=\"say &quot;a &amp; b&quot; &lt;c&gt; &apos;d&apos;\">"
            "<text>a&lt;b &amp; c&gt;d &quot;e&quot; &apos;f&apos;</text>"
            "<blank>   </blank>"
            "<lower><![cdata[x < y & z]]></lower>"
            "<markup>&lt;!-- &lt;b&gt; --&gt;</markup>"
            "<entity>&amp;lt; &#38;</entity>"  // a character reference stays as it is
            "<mixed><child/></mixed>"
            "<trailing><child/><![CDATA[after <child>]]></trailing>"
            "<odd name!/>"
            "</r>");
}

TEST(SerializerTest, WritesWhatThereIsWhenDeclarationOrRootIsMissing) {
  NodeRef emptyDeclaration = Element(u"xml");
  EXPECT_EQ(WriteUtf8(emptyDeclaration, nullptr), "<?xml?>\r\n");
  EXPECT_EQ(WriteUtf8(nullptr, nullptr), "");
  EXPECT_EQ(WriteUtf8(nullptr, MakeNode()), "<cXmlNode/>\r\n");
  // Without a declaration the mark is followed directly by the root.
  EXPECT_EQ(Write(nullptr, Element(u"a"), {.bom = true, .encodingId = 1}).bytes,
            "\xEF\xBB\xBF<a/>\r\n");
  EXPECT_EQ(Write(nullptr, nullptr, {.bom = true, .encodingId = 2}).bytes, "\xFF\xFE");
}

TEST(SerializerTest, DeclarationNamesTheEncodingThatIsWritten) {
  struct Case {
    std::int32_t encodingId;
    std::vector<std::pair<std::u16string, std::u16string>> properties;
    std::int32_t settled;
    std::string declaration;  // as written, ASCII
  };
  const std::vector<Case> cases = {
      {1, {{u"version", u"1.0"}}, 1, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
      {2,
       {{u"version", u"1.0"}, {u"encoding", u"utf-8"}, {u"standalone", u"yes"}},
       2,
       "<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"yes\"?>"},
      {1, {{u"Encoding", u"latin1"}}, 1, "<?xml Encoding=\"UTF-8\"?>"},
      {0, {{u"encoding", u"utf-8"}}, 1, "<?xml encoding=\"utf-8\"?>"},
      {0, {{u"encoding", u"UTF 16"}}, 2, "<?xml encoding=\"UTF 16\"?>"},
      {0, {{u"encoding", u"utf16"}}, 2, "<?xml encoding=\"utf16\"?>"},
      {0, {{u"encoding", u"Utf8"}}, 1, "<?xml encoding=\"Utf8\"?>"},
      {0, {{u"encoding", u"ISO-8859-1"}}, 0, "<?xml encoding=\"ISO-8859-1\"?>"},
      {0, {{u"encoding", u" UTF-8"}}, 0, "<?xml encoding=\" UTF-8\"?>"},
      {0, {{u"version", u"1.0"}}, 0, "<?xml version=\"1.0\"?>"},
  };
  for (const Case& test : cases) {
    NodeRef declaration = Element(u"xml");
    for (const auto& [name, value] : test.properties)
      declaration->SetPropertyValue(name, value);
    const std::int32_t settled = SettleEncoding(declaration.get(), test.encodingId);
    EXPECT_EQ(settled, test.settled) << test.declaration;
    // Written narrow so that the declaration reads as ASCII whatever was settled.
    EXPECT_EQ(Write(declaration, nullptr, {.prettyPrint = false, .encodingId = 0}).bytes,
              test.declaration);
  }
  EXPECT_EQ(SettleEncoding(nullptr, 0), 0);
  EXPECT_EQ(SettleEncoding(nullptr, 2), 2);
}

TEST(SerializerTest, EncodesTheWholeOutputInTheChosenEncoding) {
  NodeRef root = Element(u"a", u"\u00E9\u20AC");
  EXPECT_EQ(Write(nullptr, root, {.prettyPrint = false, .encodingId = 1}).bytes,
            "<a>\xC3\xA9\xE2\x82\xAC</a>");
  EXPECT_EQ(Write(nullptr, root, {.prettyPrint = false, .encodingId = 2}).bytes,
            std::string("<\0a\0>\0\xE9\0\xAC\x20<\0/\0a\0>\0", 18));
  // Narrow output uses the same code page as narrow reading: é and € exist there, 日 does not.
  NodeRef narrow = Element(u"a", u"\u00E9\u20AC\u65E5");
  EXPECT_EQ(Write(nullptr, narrow, {.prettyPrint = false, .encodingId = 0}).bytes,
            "<a>\xE9\x80?</a>");
  EXPECT_EQ(Write(nullptr, root, {.prettyPrint = false, .bom = true, .encodingId = 0}).bytes,
            "<a>\xE9\x80</a>");
  EXPECT_EQ(
      Write(nullptr, root, {.prettyPrint = false, .bom = true, .encodingId = 2}).bytes.substr(0, 4),
      std::string("\xFF\xFE<\0", 4));
  // Names given by a caller may hold any character, in both tags.
  NodeRef named = Element(u"\u00E9");
  named->Add(Element(u"b"));
  EXPECT_EQ(Write(nullptr, named, {.prettyPrint = false, .encodingId = 1}).bytes,
            "<\xC3\xA9><b/></\xC3\xA9>");
  EXPECT_EQ(Write(nullptr, Element(u"\u00E9b"), {.prettyPrint = false, .encodingId = 2}).bytes,
            std::string("<\0\xE9\0b\0/\0>\0", 10));
}

// Short texts are copied as they are and long runs of ASCII are written in blocks; a character
// to escape, or one beyond ASCII, at any place still comes out right, in values and in property
// values alike, in both syntaxes.
TEST(SerializerTest, EscapesAndEncodesAtEveryPlaceOfShortAndLongRuns) {
  const std::u16string specials = u"&'\"<>\r\n\t\u00E9\u007F";
  for (const XmlSyntax syntax : {XmlSyntax::Dialect, XmlSyntax::Xml10}) {
    const bool xml10 = syntax == XmlSyntax::Xml10;
    for (const std::size_t length : {3, 5, 7, 8, 9, 20, 50}) {
      for (std::size_t at = 0; at < length; ++at) {
        for (const char16_t special : specials) {
          std::u16string value(length, u'x');
          value[at] = special;
          const NodeRef root = Element(u"a", value);
          root->SetPropertyValue(u"p", value);
          const std::string text =
              ToUtf8(EscapeForWriting(value, xml10 ? Escapes::Xml10Text : Escapes::Dialect));
          const std::string attribute =
              ToUtf8(EscapeForWriting(value, xml10 ? Escapes::Xml10Attribute : Escapes::Dialect));
          if (!xml10) {
            ASSERT_EQ(text, ToUtf8(EscapeMarkup(value)));
          }
          ASSERT_EQ(
              Write(nullptr, root, {.prettyPrint = false, .encodingId = 1, .syntax = syntax}).bytes,
              "<a p=\"" + attribute + "\">" + text + "</a>")
              << xml10 << ' ' << length << ' ' << at << ' ' << static_cast<int>(special);
        }
      }
    }
  }
}

TEST(SerializerTest, WritesLargeOutputInFewLargeBlocksWithoutSplittingCharacters) {
  // Long runs of supplementary characters (surrogate pairs) after one BMP character, so that
  // the bounded steps of encoding end inside pairs; a split pair would come out as U+FFFD.
  NodeRef root = Element(u"r");
  std::u16string value = u"x\u00E9";
  for (int i = 0; i < 3000; ++i)
    value += u"\U0001F600";
  std::string expected = "<r>";
  std::string valueUtf8 = "x\xC3\xA9";
  for (int i = 0; i < 3000; ++i)
    valueUtf8 += "\xF0\x9F\x98\x80";
  for (int i = 0; i < 100; ++i) {
    root->Add(Element(u"v", value));
    expected += "<v>" + valueUtf8 + "</v>";
  }
  expected += "</r>";
  StringSink sink;
  ASSERT_EQ(WriteDocument(nullptr, root.get(), {.prettyPrint = false, .encodingId = 1}, sink),
            WriteOutcome::Written);
  EXPECT_EQ(sink.text(), expected);
  // About 1.2 MB of output: a handful of blocks, each at least tens of kilobytes but the last.
  EXPECT_GE(sink.blocks().size(), 2u);
  EXPECT_LE(sink.blocks().size(), 40u);
  for (std::size_t i = 0; i + 1 < sink.blocks().size(); ++i) {
    EXPECT_GE(sink.blocks()[i].size(), 32768u) << "block " << i;
  }
}

TEST(SerializerTest, StopsAtTheFirstBlockTheSinkRefuses) {
  NodeRef root = Element(u"r");
  for (int i = 0; i < 50000; ++i)
    root->Add(Element(u"item", u"some text to fill blocks"));
  StringSink sink;
  sink.FailAfter(1);
  EXPECT_EQ(WriteDocument(nullptr, root.get(), {.encodingId = 1}, sink), WriteOutcome::SinkFailed);
  EXPECT_EQ(sink.blocks().size(), 1u);
}

TEST(SerializerTest, NodeBelowItselfIsRefusedInsteadOfWrittenForever) {
  NodeRef self = Element(u"self");
  self->Add(self);
  EXPECT_EQ(Write(nullptr, self).outcome, WriteOutcome::Cycle);

  NodeRef a = Element(u"a");
  NodeRef b = Element(u"b");
  NodeRef c = Element(u"c");
  a->Add(b);
  b->Add(c);
  c->Add(Element(u"leaf"));
  c->Add(a);
  NodeRef root = Element(u"root");
  root->Add(a);
  EXPECT_EQ(Write(nullptr, root).outcome, WriteOutcome::Cycle);

  // Far below the root, where open elements are tracked differently from the first levels.
  std::vector<NodeRef> chain{Element(u"level")};
  for (int i = 1; i < 200; ++i) {
    chain.push_back(Element(u"level"));
    chain[i - 1]->Add(chain[i]);
  }
  chain[199]->Add(chain[150]);
  EXPECT_EQ(Write(nullptr, chain[0]).outcome, WriteOutcome::Cycle);
  chain[199]->Clear();
  chain[199]->Add(Element(u"leaf"));
  EXPECT_EQ(Write(nullptr, chain[0]).outcome, WriteOutcome::Written);

  // Break the reference cycles, or the nodes would never be released.
  self->Clear();
  c->Clear();
}

TEST(SerializerTest, NodeSharedBySeveralParentsIsNoCycle) {
  NodeRef shared = Element(u"s", u"v");
  NodeRef group = Element(u"g");
  group->Add(shared);
  group->Add(shared);
  NodeRef root = Element(u"r");
  root->Add(group);
  root->Add(group);
  root->Add(Element(u"last"));
  const Written written = Write(nullptr, root, {.prettyPrint = false, .encodingId = 1});
  EXPECT_EQ(written.outcome, WriteOutcome::Written);
  EXPECT_EQ(written.bytes, "<r><g><s>v</s><s>v</s></g><g><s>v</s><s>v</s></g><last/></r>");
}

TEST(SerializerTest, WritesTreesOfAnyDepthAndWidth) {
  constexpr int kDepth = 1'000'000;
  NodeRef root = Element(u"n");
  cXmlNode* deepest = root.get();
  for (int i = 1; i < kDepth; ++i) {
    NodeRef child = Element(u"n");
    deepest->Add(child);
    deepest = child.get();
  }
  deepest->SetValue(u"bottom");
  const Written deep = Write(nullptr, root, {.prettyPrint = false, .encodingId = 1});
  ASSERT_EQ(deep.outcome, WriteOutcome::Written);
  ASSERT_EQ(deep.bytes.size(), kDepth * 7u + 6);
  EXPECT_EQ(deep.bytes.substr(0, 9), "<n><n><n>");
  EXPECT_EQ(deep.bytes.substr(kDepth * 3u - 3, 16), "<n>bottom</n></n");
  EXPECT_EQ(deep.bytes.substr(deep.bytes.size() - 8), "</n></n>");

  constexpr int kChildren = 40'000;  // more than a 16-bit counter reaches
  NodeRef wide = Element(u"w");
  for (int i = 0; i < kChildren; ++i) {
    std::u16string name = u"c";
    name += FromUtf8(std::to_string(i));
    wide->Add(Element(std::move(name)));
  }
  const std::string written = WriteUtf8(nullptr, wide, true, 0);
  EXPECT_NE(written.find("\r\n    <c32767/>\r\n    <c32768/>\r\n"), std::string::npos);
  EXPECT_EQ(written.substr(written.size() - 21), "    <c39999/>\r\n</w>\r\n");
}

// Nodes of the other kinds ----------------------------------------------------------------------

NodeRef Made(NodeKind kind, std::u16string value, std::u16string name = u"") {
  NodeRef node = MakeNode(kind);
  if (!name.empty()) node->SetName(std::move(name));
  node->SetValue(value);
  return node;
}

NodeRef DocumentType(std::u16string name, std::u16string publicId, std::u16string systemId,
                     std::u16string subset) {
  NodeRef node = Made(KindDocumentType, std::move(subset), std::move(name));
  if (!publicId.empty()) node->SetPropertyValue(u"PUBLIC", publicId);
  if (!systemId.empty()) node->SetPropertyValue(u"SYSTEM", systemId);
  return node;
}

std::string WriteIn(XmlSyntax syntax, const NodeRef& root, bool pretty,
                    std::int32_t encodingId = 1) {
  return Write(nullptr, root, {.prettyPrint = pretty, .encodingId = encodingId, .syntax = syntax})
      .bytes;
}

// Each kind beside an element child of <r>, in each syntax: its own form, and whether it makes
// <r> mixed content (written as it is, pretty or not) or stands on a line of its own.
TEST(SerializerTest, EveryKindIsWrittenInItsFormInBothSyntaxesAndLayouts) {
  struct Case {
    const char* what;
    NodeRef node;
    std::string dialect;
    std::string xml10;
    bool mixed;
  };
  const Case cases[] = {
      {"text", Made(KindText, u"a<b & c>\r\n\"q\"\t"), "a&lt;b &amp; c&gt;\r\n&quot;q&quot;\t",
       "a&lt;b &amp; c&gt;&#13;\n&quot;q&quot;\t", true},
      {"text reference", Made(KindText, u"&#169; &#x2E; &#x;"), "&#169; &#x2E; &amp;#x;",
       "&amp;#169; &amp;#x2E; &amp;#x;", true},
      {"text starting with <", Made(KindText, u"<![CDATA[x]]>"), "&lt;![CDATA[x]]&gt;",
       "&lt;![CDATA[x]]&gt;", true},
      {"cdata", Made(KindCData, u"x < & y"), "<![CDATA[x < & y]]>", "<![CDATA[x < & y]]>", true},
      {"cdata holding its end", Made(KindCData, u"]]>a]]]>"),
       "<![CDATA[]]]]><![CDATA[>a]]]]]><![CDATA[>]]>",
       "<![CDATA[]]]]><![CDATA[>a]]]]]><![CDATA[>]]>", true},
      {"empty cdata", Made(KindCData, u""), "<![CDATA[]]>", "<![CDATA[]]>", true},
      {"comment", Made(KindComment, u" a < b & c "), "<!-- a < b & c -->", "<!-- a < b & c -->",
       false},
      {"processing instruction", Made(KindProcessingInstruction, u"href=\"a&b\"", u"style"),
       "<?style href=\"a&b\"?>", "<?style href=\"a&b\"?>", false},
      {"processing instruction without value", Made(KindProcessingInstruction, u"", u"go"),
       "<?go?>", "<?go?>", false},
      {"blank text", Made(KindText, u" \r\n\t"), " \r\n\t", " &#13;\n\t", false},
      {"document type", DocumentType(u"doc", u"-//P//EN", u"d.dtd", u"<!ENTITY e \"x\">"),
       "<!DOCTYPE doc PUBLIC \"-//P//EN\" \"d.dtd\" [<!ENTITY e \"x\">]>",
       "<!DOCTYPE doc PUBLIC \"-//P//EN\" \"d.dtd\" [<!ENTITY e \"x\">]>", false},
      {"document type, system literal with a quote", DocumentType(u"doc", u"", u"a\"b", u""),
       "<!DOCTYPE doc SYSTEM 'a\"b'>", "<!DOCTYPE doc SYSTEM 'a\"b'>", false},
      {"document type, public without system", DocumentType(u"doc", u"p", u"", u""),
       "<!DOCTYPE doc PUBLIC \"p\" \"\">", "<!DOCTYPE doc PUBLIC \"p\" \"\">", false},
      {"document type alone", DocumentType(u"doc", u"", u"", u""), "<!DOCTYPE doc>",
       "<!DOCTYPE doc>", false},
  };
  for (const Case& test : cases) {
    for (const XmlSyntax syntax : {XmlSyntax::Dialect, XmlSyntax::Xml10}) {
      SCOPED_TRACE(std::string(test.what) + (syntax == XmlSyntax::Xml10 ? " xml10" : " dialect"));
      const std::string& form = syntax == XmlSyntax::Xml10 ? test.xml10 : test.dialect;
      NodeRef root = Element(u"r");
      root->Add(Element(u"e"));
      root->Add(test.node);
      EXPECT_EQ(WriteIn(syntax, root, false), "<r><e/>" + form + "</r>");
      const bool blank = test.node->Kind() == KindText && !test.mixed;
      const std::string pretty = test.mixed ? "<r><e/>" + form + "</r>\r\n"
                                 : blank    ? "<r>\r\n\t<e/>\r\n</r>\r\n"
                                            : "<r>\r\n\t<e/>\r\n\t" + form + "\r\n</r>\r\n";
      EXPECT_EQ(WriteIn(syntax, root, true), pretty);
      // Alone as the root: its form, and a line end when pretty.
      EXPECT_EQ(WriteIn(syntax, test.node, false), form);
    }
  }
}

// A whole document: the prolog and epilog around the root each on a line of their own, mixed
// content written as it is (elements inside it too), white-space-only text between elements
// left out when pretty and kept when not.
TEST(SerializerTest, PrologEpilogAndMixedContentInEveryLayout) {
  const NodeRef declaration = Declaration({{u"version", u"1.0"}});
  const std::vector<NodeRef> prolog = {Made(KindComment, u" top "),
                                       DocumentType(u"doc", u"", u"doc.dtd", u""),
                                       Made(KindText, u"\n")};
  const std::vector<NodeRef> epilog = {Made(KindProcessingInstruction, u"", u"end")};
  NodeRef root = Element(u"doc");
  root->Add(Made(KindText, u"\n  "));
  NodeRef paragraph = Element(u"p");
  paragraph->Add(Made(KindText, u"Hello "));
  NodeRef bold = Element(u"b");
  NodeRef italic = Element(u"i", u"you");
  bold->Add(italic);
  paragraph->Add(bold);
  paragraph->Add(Made(KindText, u"!"));
  root->Add(paragraph);
  root->Add(Made(KindText, u"\n  "));
  NodeRef list = Element(u"list");
  list->Add(Element(u"item", u"1"));
  list->Add(Made(KindComment, u"more"));
  root->Add(list);
  root->Add(Made(KindText, u"\n"));
  const DocumentParts parts{
      .declaration = declaration.get(), .prolog = prolog, .root = root.get(), .epilog = epilog};
  const auto write = [&](bool pretty, std::int32_t identType) {
    StringSink sink;
    EXPECT_EQ(WriteDocument(parts,
                            {.prettyPrint = pretty,
                             .identType = identType,
                             .encodingId = 1,
                             .syntax = XmlSyntax::Xml10},
                            sink),
              WriteOutcome::Written);
    return sink.text();
  };
  const std::string tabs =
      "<?xml version=\"1.0\"?>\r\n"
      "<!-- top -->\r\n"
      "<!DOCTYPE doc SYSTEM \"doc.dtd\">\r\n"
      "<doc>\r\n"
      "\t<p>Hello <b><i>you</i></b>!</p>\r\n"
      "\t<list>\r\n"
      "\t\t<item>1</item>\r\n"
      "\t\t<!--more-->\r\n"
      "\t</list>\r\n"
      "</doc>\r\n"
      "<?end?>\r\n";
  EXPECT_EQ(write(true, 1), tabs);
  EXPECT_EQ(write(true, 0), testing::WithSpaces(tabs));
  EXPECT_EQ(write(false, 1),
            "<?xml version=\"1.0\"?><!-- top --><!DOCTYPE doc SYSTEM \"doc.dtd\">\n"
            "<doc>\n  <p>Hello <b><i>you</i></b>!</p>\n  <list><item>1</item><!--more--></list>\n"
            "</doc><?end?>");
}

// XML 1.0 escapes what normalization would change: CR everywhere, TAB and LF in attribute
// values; the dialect keeps them, and keeps character references. (Every place of short and long
// runs in both syntaxes: EscapesAndEncodesAtEveryPlaceOfShortAndLongRuns.)
TEST(SerializerTest, EachSyntaxEscapesWhatItsReadersWouldChange) {
  // The expectations above come from EscapeForWriting; these few say what it must say.
  NodeRef root = Element(u"a", u"1\r\n2\t&#38;");
  root->SetPropertyValue(u"p", u"1\r\n2\t&#38;");
  EXPECT_EQ(WriteIn(XmlSyntax::Xml10, root, false),
            "<a p=\"1&#13;&#10;2&#9;&amp;#38;\">1&#13;\n2\t&amp;#38;</a>");
  EXPECT_EQ(WriteIn(XmlSyntax::Dialect, root, false), "<a p=\"1\r\n2\t&#38;\">1\r\n2\t&#38;</a>");
  // UTF-16 output escapes through its own tables.
  // A CR in a CDATA section would be read as LF: it goes between two sections.
  EXPECT_EQ(WriteIn(XmlSyntax::Xml10, Made(KindCData, u"a\r\nb\r"), false),
            "<![CDATA[a]]>&#13;<![CDATA[\nb]]>&#13;<![CDATA[]]>");
  EXPECT_EQ(WriteIn(XmlSyntax::Dialect, Made(KindCData, u"a\r\nb\r"), false),
            "<![CDATA[a\r\nb\r]]>");
  EXPECT_EQ(WriteIn(XmlSyntax::Xml10, Made(KindText, u"\r<"), false, 2),
            std::string("&\0#\0"
                        "1\0"
                        "3\0;\0&\0l\0t\0;\0",
                        18));
}

// A character the narrow code page lacks is a character reference in XML 1.0 wherever one may
// stand (between two CDATA sections inside one); comments, processing instructions and names
// have no references, and the dialect writes '?' as it always has.
TEST(SerializerTest, Xml10ReferencesWhatTheNarrowCodePageLacks) {
  const std::u16string value = u"\u00E9\u65E5\u20AC\U0001F600.";
  NodeRef root = Element(u"r", value);
  root->SetPropertyValue(u"p", value);
  EXPECT_EQ(WriteIn(XmlSyntax::Xml10, root, false, 0),
            "<r p=\"\xE9&#26085;\x80&#128512;.\">\xE9&#26085;\x80&#128512;.</r>");
  EXPECT_EQ(WriteIn(XmlSyntax::Dialect, root, false, 0), "<r p=\"\xE9?\x80?.\">\xE9?\x80?.</r>");
  EXPECT_EQ(WriteIn(XmlSyntax::Xml10, root, false, 1),
            "<r p=\"\xC3\xA9\xE6\x97\xA5\xE2\x82\xAC\xF0\x9F\x98\x80.\">"
            "\xC3\xA9\xE6\x97\xA5\xE2\x82\xAC\xF0\x9F\x98\x80.</r>");
  EXPECT_EQ(WriteIn(XmlSyntax::Xml10, Made(KindCData, u"a\u65E5\u00E9]]>\U0001F600"), false, 0),
            "<![CDATA[a]]>&#26085;<![CDATA[\xE9]]]]><![CDATA[>]]>&#128512;<![CDATA[]]>");
  EXPECT_EQ(WriteIn(XmlSyntax::Xml10, Made(KindComment, u"\u65E5"), false, 0), "<!--?-->");
  // A lone surrogate has no reference that XML allows: it stays '?'.
  EXPECT_EQ(WriteIn(XmlSyntax::Xml10, Made(KindText, std::u16string(1, u'\xD800')), false, 0), "?");
}

#ifdef KESTRELWING_HAVE_LIBXML2

// James Clark's canonical form of a tree: attributes sorted by name, character data (text runs,
// CDATA sections, an element's value) as one escaped run, comments and processing instructions
// kept. With dropBlanks, white-space-only text in an element without other character data (what
// pretty printing may change) is left out.
void Escaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += "&#10;";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        out += c;
    }
  }
}

void Canonical(const cXmlNode& node, bool dropBlanks, std::string& out) {
  const std::string value = ToUtf8(node.Value());
  const auto blank = [](const cXmlNode& n) {
    return n.Kind() == KindText &&
           ToUtf8(n.Value()).find_first_not_of(" \t\r\n") == std::string::npos;
  };
  switch (node.Kind()) {
    case KindText:
    case KindCData:
      return Escaped(out, value);
    case KindComment:
      out += "<!--" + value + "-->";
      return;
    case KindProcessingInstruction:
      out += "<?" + ToUtf8(node.Name()) + " " + value + "?>";
      return;
    default:
      break;
  }
  std::vector<PropertyPair> properties = node.Properties();
  std::sort(properties.begin(), properties.end());
  out += "<" + ToUtf8(node.Name());
  for (const PropertyPair& pair : properties) {
    out += " " + ToUtf8(pair[0]) + "=\"";
    Escaped(out, ToUtf8(pair[1]));
    out += "\"";
  }
  out += ">";
  Escaped(out, node.NodeCount() == 0 ? value : "");
  std::vector<NodeRef> children;
  for (std::int32_t i = 1; i <= node.NodeCount(); ++i)
    children.push_back(node.Node(i));
  const bool hasData = std::any_of(children.begin(), children.end(), [&](const NodeRef& child) {
    return child->Kind() == KindCData || (child->Kind() == KindText && !blank(*child));
  });
  for (const NodeRef& child : children) {
    if (!(dropBlanks && !hasData && blank(*child))) Canonical(*child, dropBlanks, out);
  }
  out += "</" + ToUtf8(node.Name()) + ">";
}

// libxml2's tree as nodes of ours: elements, text, CDATA, comments, processing instructions.
NodeRef FromLibxml2(const xmlNode* node) {
  const auto text = [](const xmlChar* t) {
    return FromUtf8(t != nullptr ? reinterpret_cast<const char*>(t) : "");
  };
  const std::pair<xmlElementType, NodeKind> kinds[] = {{XML_ELEMENT_NODE, KindElement},
                                                       {XML_TEXT_NODE, KindText},
                                                       {XML_CDATA_SECTION_NODE, KindCData},
                                                       {XML_COMMENT_NODE, KindComment},
                                                       {XML_PI_NODE, KindProcessingInstruction}};
  const auto* kind = std::find_if(std::begin(kinds), std::end(kinds),
                                  [&](const auto& k) { return k.first == node->type; });
  if (kind == std::end(kinds)) return nullptr;
  NodeRef made = Made(kind->second, text(node->content), text(node->name));
  for (const xmlAttr* a = node->properties; kind->second == KindElement && a != nullptr;
       a = a->next) {
    xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
    made->SetPropertyValue(text(a->name), text(value));
    xmlFree(value);
  }
  for (const xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (NodeRef converted = FromLibxml2(child)) made->Add(converted);
  }
  return made;
}

// What the writer writes in XML 1.0 means what the tree holds to another XML 1.0 processor, in
// every encoding and layout: characters that normalization would change, CDATA holding its own
// end, references of the dialect's shape as plain text, characters the narrow code page lacks.
TEST(SerializerTest, Xml10OutputReadsBackAsTheSameTreeInLibxml2) {
  const std::u16string awkward = u"a\tb\nc\r\nd\re  &#169; <&>\"' ]]> \u00E9\u20AC\u65E5\U0001F600";
  NodeRef root = Element(u"doc");
  root->SetPropertyValue(u"attr", awkward);
  root->SetPropertyValue(u"b", u" x  y ");
  root->Add(Made(KindText, u"\n  "));
  NodeRef mixed = Element(u"p");
  mixed->Add(Made(KindText, awkward));
  mixed->Add(Made(KindCData, awkward));
  mixed->Add(Element(u"leaf", awkward));
  mixed->Add(Made(KindComment, u" note "));
  mixed->Add(Made(KindProcessingInstruction, u"data here", u"target"));
  root->Add(mixed);
  root->Add(Made(KindText, u"\n  "));
  NodeRef list = Element(u"list");
  list->Add(Element(u"item", u"one"));
  list->Add(Made(KindComment, u"two"));
  list->Add(Element(u"item"));
  root->Add(list);
  root->Add(Made(KindText, u"\n"));
  const std::vector<NodeRef> prolog = {Made(KindComment, u" before ")};
  const std::vector<NodeRef> epilog = {Made(KindProcessingInstruction, u"", u"after")};

  for (const std::int32_t encodingId : {0, 1, 2}) {
    for (const bool pretty : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "encoding " << encodingId << ", pretty " << pretty);
      const NodeRef declaration = Declaration(
          {{u"version", u"1.0"}, {u"encoding", encodingId == 0 ? u"windows-1252" : u"x"}});
      SettleEncoding(declaration.get(), encodingId);
      StringSink sink;
      ASSERT_EQ(WriteDocument({.declaration = declaration.get(),
                               .prolog = prolog,
                               .root = root.get(),
                               .epilog = epilog},
                              {.prettyPrint = pretty,
                               .bom = encodingId == 2,
                               .encodingId = encodingId,
                               .syntax = XmlSyntax::Xml10},
                              sink),
                WriteOutcome::Written);
      const std::string& bytes = sink.text();
      xmlDoc* read = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                   XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
      ASSERT_NE(read, nullptr) << bytes;
      std::string theirs;
      for (const xmlNode* node = read->children; node != nullptr; node = node->next) {
        if (NodeRef converted = FromLibxml2(node)) Canonical(*converted, pretty, theirs);
      }
      xmlFreeDoc(read);
      std::string ours;
      for (const NodeRef& node : {prolog[0], root, epilog[0]})
        Canonical(*node, pretty, ours);
      EXPECT_EQ(theirs, ours) << bytes;
    }
  }
}

#endif  // KESTRELWING_HAVE_LIBXML2

}  // namespace
}  // namespace kestrelwing::detail
