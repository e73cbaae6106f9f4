// The canonical form the conformance run compares with the suite's out/ files: trees built by
// hand, and the notation scanner and difference position it rests on.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>
#include <kestrelwing/cXml.h>

#include "../NodeBuilders.h"
#include "Canonical.h"

namespace kestrelwing::conformance {
namespace {

NodeRef Node(NodeKind kind, std::u16string_view name, std::u16string_view value = u"") {
  NodeRef node = MakeNode(kind);
  if (!name.empty()) node->SetName(std::u16string(name));
  node->SetValue(value);
  return node;
}

NodeRef Element(std::u16string_view name, std::vector<PropertyPair> properties = {},
                std::vector<NodeRef> children = {}, std::u16string_view value = u"") {
  NodeRef element = Node(KindElement, name, value);
  for (auto& [propertyName, propertyValue] : properties) {
    element->SetPropertyValue(propertyName, propertyValue);
  }
  for (NodeRef& child : children)
    element->Add(child);
  return element;
}

struct TreeCase {
  const char* what;
  cXml document;
  std::string expected;
};

std::vector<TreeCase> TreeCases() {
  std::vector<TreeCase> cases;
  const auto add = [&](const char* what, NodeRef root, std::vector<NodeRef> prolog,
                       std::vector<NodeRef> epilog, std::string expected) {
    TreeCase& treeCase = cases.emplace_back(TreeCase{what, cXml(), std::move(expected)});
    treeCase.document.SetSyntax(XmlSyntax::Xml10);
    treeCase.document.SetRoot(std::move(root));
    treeCase.document.SetProlog(std::move(prolog));
    treeCase.document.SetEpilog(std::move(epilog));
  };
  add("an empty element has an end tag", Element(u"doc"), {}, {}, "<doc></doc>");
  add("attributes sorted by name, values and text escaped",
      Element(u"doc", {{u"b", u"x<\"&\t>"}, {u"a", u"1\r\n"}}, {}, u"a&b<c>\r\n\t\"'"), {}, {},
      "<doc a=\"1&#13;&#10;\" b=\"x&lt;&quot;&amp;&#9;&gt;\">a&amp;b&lt;c&gt;&#13;&#10;&#9;&quot;'"
      "</doc>");
  add("sorted by code point, not by UTF-16 unit",
      Element(u"doc", {{u"\U00010000", u"1"}, {u"\uFF21", u"2"}, {u"B", u"3"}, {u"a", u"4"}}), {},
      {}, "<doc B=\"3\" a=\"4\" \uFF21=\"2\" \U00010000=\"1\"></doc>");
  add("mixed content in order; comments and CDATA markers leave no trace",
      Element(u"doc", {},
              {Node(KindText, u"", u"one "), Element(u"e"), Node(KindComment, u"", u" c "),
               Node(KindCData, u"", u"<two>"), Node(KindProcessingInstruction, u"pi", u""),
               Element(u"f", {}, {Node(KindText, u"", u"3")})},
              u"ignored: an element with children is its children"),
      {}, {}, "<doc>one <e></e>&lt;two&gt;<?pi ?><f>3</f></doc>");
  add("processing instructions around the root; declaration-like comments dropped", Element(u"doc"),
      {Node(KindComment, u"", u"before"), Node(KindProcessingInstruction, u"a", u"x y")},
      {Node(KindProcessingInstruction, u"b", u"some data ? > <?"), Node(KindComment, u"", u"z")},
      "<?a x y?><doc></doc><?b some data ? > <?"
      "?>");
  // The shape of the suite's sun/valid/out/sa02.xml: notations sorted by name, single-quoted.
  add("notations of the document type, sorted", Element(u"attributes"),
      {Node(KindDocumentType, u"attributes",
            u"\n  <!ELEMENT attributes EMPTY>\n  <!-- <!NOTATION commented SYSTEM \"c\"> -->\n"
            u"  <!ENTITY e \"<!NOTATION quoted SYSTEM 'q'>\">\n"
            u"  <!NOTATION nonce SYSTEM \"file:/dev/null\">\n"
            u"  <!NOTATION foo PUBLIC \"-//public id//foo\" \"file:/dev/null\">\n"
            u"  <!NOTATION bar SYSTEM 'file:/dev/tty'>\n"),
       Node(KindProcessingInstruction, u"pi", u"data")},
      {},
      "<!DOCTYPE attributes [\n<!NOTATION bar SYSTEM 'file:/dev/tty'>\n"
      "<!NOTATION foo PUBLIC '-//public id//foo' 'file:/dev/null'>\n"
      "<!NOTATION nonce SYSTEM 'file:/dev/null'>\n]>\n<?pi data?><attributes></attributes>");
  // The shape of ibm/valid/P29/out/ibm29v01.xml: the internal subset's processing instructions
  // where the document type stands, before its notations.
  add("processing instructions of the internal subset", Element(u"a"),
      {Node(KindProcessingInstruction, u"first", u""),
       Node(KindDocumentType, u"a",
            u"<!NOTATION n SYSTEM 'x.txt'>\n<?sound \"This is a PI\" ?><!ELEMENT a ANY>")},
      {},
      "<?first ?><?sound \"This is a PI\" ?><!DOCTYPE a [\n<!NOTATION n SYSTEM "
      "'x.txt'>\n]>\n<a></a>");
  add("a document type without notations leaves no trace", Element(u"doc"),
      {Node(KindDocumentType, u"doc", u"<!ELEMENT doc (#PCDATA)>")}, {}, "<doc></doc>");
  return cases;
}

TEST(CanonicalForm, OfTreesBuiltByHand) {
  for (const TreeCase& treeCase : TreeCases()) {
    EXPECT_EQ(CanonicalForm(treeCase.document), treeCase.expected) << treeCase.what;
  }
}

TEST(CanonicalForm, OfADialectDocumentUnwrapsItsCDataSections) {
  const std::string_view text = "<a z=\"&amp;\" b=\"1\"><b><![CDATA[x<y]]></b><c>t&lt;</c></a>";
  cXml document;
  ASSERT_TRUE(document.Parse(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(text.data()), text.size())))
      << ToUtf8(document.Result());
  EXPECT_EQ(CanonicalForm(document), "<a b=\"1\" z=\"&amp;\"><b>x&lt;y</b><c>t&lt;</c></a>");
}

TEST(CanonicalForm, OfAVeryDeepTreeNeedsNoDeepCallStack) {
  constexpr int kDepth = 200000;
  cXml document;
  document.SetRoot(testing::NamedNode(u"d"));
  NodeRef innermost = document.Root();
  for (int level = 1; level < kDepth; ++level)
    innermost = testing::AddChild(*innermost, u"d");
  const std::string canonical = CanonicalForm(document);
  EXPECT_EQ(canonical.size(), std::size_t{kDepth} * 7);
  EXPECT_TRUE(canonical.starts_with("<d><d>") && canonical.ends_with("</d></d>"));
}

TEST(ReadDocumentType, ReadsEachNotationFormAndStepsOverWhatOnlyLooksLikeOne) {
  struct Case {
    std::string_view dtd;
    std::vector<Notation> expected;
  };
  const Case cases[] = {
      {"<!NOTATION n SYSTEM 'http://www.w3.org/'>", {{"n", "", "http://www.w3.org/", false, true}}},
      {"<!NOTATION n PUBLIC \"whatever\">", {{"n", "whatever", "", true, false}}},
      {"<!NOTATION\tn\nPUBLIC ' -//a \t\n b// ' \"s\" >", {{"n", "-//a b//", "s", true, true}}},
      {"doc SYSTEM \"<!NOTATION x SYSTEM 'y'>\" [<!NOTATION n SYSTEM 's'>]",
       {{"n", "", "s", false, true}}},
      {"<?pi <!NOTATION x SYSTEM 'y'>?><!--<!NOTATION x SYSTEM 'y'>-->", {}},
      {"<!ATTLIST a b CDATA '<!NOTATION x SYSTEM \"y\">'>%pe;", {}},
  };
  for (const Case& testCase : cases) {
    EXPECT_EQ(ReadDocumentType(testCase.dtd).notations, testCase.expected) << testCase.dtd;
  }
}

TEST(ReadDocumentType, ReadsProcessingInstructionsOutsideCommentsAndLiterals) {
  struct Case {
    std::string_view dtd;
    std::vector<Instruction> expected;
  };
  const Case cases[] = {
      {"<?a?><?b  data ?><?c\n\tx?y?>", {{"a", ""}, {"b", "data "}, {"c", "x?y"}}},
      {"<!-- <?no?> --><!ENTITY e '<?no?>'><?yes 1?>", {{"yes", "1"}}},
      {"<?unclosed data", {{"unclosed", "data"}}},
  };
  for (const Case& testCase : cases) {
    EXPECT_EQ(ReadDocumentType(testCase.dtd).instructions, testCase.expected) << testCase.dtd;
  }
}

TEST(FirstDifference, CountsCharactersFromOne) {
  struct Case {
    std::string_view expected, actual;
    std::size_t position;
  };
  const Case cases[] = {
      {"<a></a>", "<a></a>", 0},
      {"abc", "abd", 3},
      {"ab", "abc", 3},
      {"abc", "ab", 3},
      {"", "x", 1},
      {"a\u00E9b", "a\u00E8b", 2},
      {"\u00E9\u00E9x", "\u00E9\u00E9y", 3},
  };
  for (const Case& testCase : cases) {
    EXPECT_EQ(FirstDifference(testCase.expected, testCase.actual), testCase.position)
        << testCase.expected << " / " << testCase.actual;
  }
}

}  // namespace
}  // namespace kestrelwing::conformance
