// Reading XML 1.0: what a document becomes, which rule a broken one breaks and where, its bytes'
// encodings, and documents built to exhaust a reader.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <kestrelwing/cXml.h>

namespace kestrelwing {
namespace {

// A node as short text: <name a='v'>children</name>, "text" (a value or a text run),
// [cdata], <!--comment-->, <?target data?>, <!DOCTYPE name system [subset]>.
std::string Describe(const cXmlNode& node) {
  // Appended piece by piece: "literal" + std::string trips g++ 12's -Wrestrict.
  std::string text;
  const auto add = [&text](std::initializer_list<std::string_view> pieces) {
    for (std::string_view piece : pieces)
      text += piece;
  };
  const std::string value = ToUtf8(node.Value());
  const std::string name = ToUtf8(node.Name());
  switch (node.Kind()) {
    case KindText:
      add({"\"", value, "\""});
      return text;
    case KindCData:
      add({"[", value, "]"});
      return text;
    case KindComment:
      add({"<!--", value, "-->"});
      return text;
    case KindProcessingInstruction:
      add({"<?", name, " ", value, "?>"});
      return text;
    case KindDocumentType:
      add({"<!DOCTYPE ", name, " ", ToUtf8(node.PropertyValue(u"SYSTEM")), " [", value, "]>"});
      return text;
    case KindElement:
      break;
  }
  add({"<", name});
  for (const PropertyPair& property : node.Properties())
    add({" ", ToUtf8(property[0]), "='", ToUtf8(property[1]), "'"});
  add({">"});
  if (!value.empty()) add({"\"", value, "\""});
  for (std::int32_t i = 1; i <= node.NodeCount(); ++i)
    text += Describe(*node.Node(i));
  add({"</", name, ">"});
  return text;
}

std::string DescribeDocument(const cXml& document) {
  std::string text;
  for (const NodeRef& node : document.Prolog())
    text += Describe(*node);
  text += Describe(*document.Root());
  for (const NodeRef& node : document.Epilog())
    text += Describe(*node);
  return text;
}

// The description of the document read from text, or "error: " and Result().
std::string Read(std::u16string_view text) {
  cXml document;
  document.SetSyntax(XmlSyntax::Xml10);
  if (!document.Parse(text)) return "error: " + ToUtf8(document.Result());
  return DescribeDocument(document);
}

std::string ReadBytes(std::string_view bytes) {
  cXml document;
  document.SetSyntax(XmlSyntax::Xml10);
  const std::span<const std::uint8_t> span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                           bytes.size());
  if (!document.Parse(span)) return "error: " + ToUtf8(document.Result());
  return DescribeDocument(document) + " encoding " + std::to_string(document.EncodingId());
}

struct Case {
  std::u16string_view source;
  std::string_view expected;
};

TEST(Xml10Reader, ReadsWhatIsWellFormed) {
  const Case cases[] = {
      // Visual C++'s manifest: single quotes, a second namespace, white space kept as text.
      {u"<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n"
       u"<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\r\n"
       u"  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security/></trustInfo>\r\n"
       u"</assembly>",
       "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\"\n  \""
       "<trustInfo xmlns='urn:schemas-microsoft-com:asm.v3'><security></security></trustInfo>"
       "\"\n\"</assembly>"},
      // References: characters, the predefined entities, in text and in attribute values.
      {u"<a n='Contoso&#x2E;Ledger' c=\"&lt;&#169;&quot;\">&#169; &amp; &#x10000;</a>",
       "<a n='Contoso.Ledger' c='<\xC2\xA9\"'>\"\xC2\xA9 & \xF0\x90\x80\x80\"</a>"},
      // Attribute values: white space becomes spaces, references to it stay.
      {u"<a v=' x\ty\nz&#10;'/>", "<a v=' x y z\n'></a>"},
      // Line ends: CR LF and a lone CR are LF.
      {u"<a>1\r\n2\r3</a>", "<a>\"1\n2\n3\"</a>"},
      // Mixed content, comments, processing instructions and CDATA sections stay in order.
      {u"<a>x<b/>y<!--c--><?p d?><![CDATA[<&]]>z</a>",
       "<a>\"x\"<b></b>\"y\"<!--c--><?p d?>[<&]\"z\"</a>"},
      // A text that would read as a CDATA section in a value stays a text run.
      {u"<a>&lt;![CDATA[x]]&gt;</a>", "<a>\"<![CDATA[x]]>\"</a>"},
      // Around the root: comments, processing instructions, the document type.
      {u"<!--c--><?pi?><!DOCTYPE a SYSTEM 'a.dtd'><a/><!--e-->",
       "<!--c--><?pi ?><!DOCTYPE a a.dtd []><a></a><!--e-->"},
      // The internal subset: entities expanded (markup included), defaults applied, tokenized
      // values collapsed; the subset kept as written.
      {u"<!DOCTYPE a [<!ENTITY e '<b>&f;</b>'><!ENTITY f 'F'><!ATTLIST a d CDATA 'x' "
       u"t NMTOKENS #IMPLIED>]><a t='  p   q '>&e;&e;</a>",
       "<!DOCTYPE a  [<!ENTITY e '<b>&f;</b>'><!ENTITY f 'F'><!ATTLIST a d CDATA 'x' t NMTOKENS "
       "#IMPLIED>]><a t='p q' d='x'><b>\"F\"</b><b>\"F\"</b></a>"},
      // Character references in an entity value are replaced when it is declared.
      {u"<!DOCTYPE a [<!ENTITY e 'x&#38;#38;y'>]><a>&e;</a>",
       "<!DOCTYPE a  [<!ENTITY e "
       "'x&#38;#38;y'>]><a>\"x&y\"</a>"},
      // Parameter entities between declarations.
      {u"<!DOCTYPE a [<!ENTITY % d '<!ENTITY e \"E\">'>%d;]><a>&e;</a>",
       "<!DOCTYPE a  [<!ENTITY % d '<!ENTITY e \"E\">'>%d;]><a>\"E\"</a>"},
      // Names beyond ASCII; a name that is not ASCII letter case but still a name.
      {u"<\u00E9l\u00E8ve \u0394='1'/>",
       "<\xC3\xA9l\xC3\xA8ve \xCE\x94='1'></\xC3\xA9l\xC3\xA8ve>"},
      // ASCII names that go on beyond ASCII; siblings that share names or begin alike; an end
      // tag with white space before its '>'.
      {u"<abcdefgh\u00E9ij k\u00E9='1'><x/><x/><y/><x/><ab><a></a ></ab></abcdefgh\u00E9ij>",
       "<abcdefgh\xC3\xA9ij k\xC3\xA9='1'><x></x><x></x><y></y><x></x><ab><a></a></ab>"
       "</abcdefgh\xC3\xA9ij>"},
      // Attribute values: plain ones in either quotes beside one that is normalized.
      {u"<a b='x\ty' c=\"a plain value longer than a block\" d='q\"q'/>",
       "<a b='x y' c='a plain value longer than a block' d='q\"q'></a>"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Read(c.source), c.expected) << ToUtf8(c.source);
}

TEST(Xml10Reader, RefusesWhatIsNotWellFormedSayingWhereAndWhichRule) {
  const Case cases[] = {
      {u"<a></A>",
       "The end tag 'A' does not match the start tag 'a' at line 1 [8] (XML 1.0 WFC: "
       "Element Type Match)"},
      {u"<ab></a>", "The end tag 'a' does not match the start tag 'ab' at line 1 [9]"},
      {u"<a></ab>", "The end tag 'ab' does not match the start tag 'a' at line 1 [9]"},
      {u"<a></a\u00E9>", "The end tag 'a\xC3\xA9' does not match the start tag 'a'"},
      {u"<a></a", "'>' was expected before the end at line 1 [7] (XML 1.0 [42] ETag)"},
      {u"<a/><b/>", "A second root element at line 1 [5] (XML 1.0 [1] document)"},
      {u"<a>]]></a>", "']]>' in character data at line 1 [4] (XML 1.0 [14] CharData)"},
      {u"<a><!-- a -- b --></a>", "'--' inside a comment at line 1 [11] (XML 1.0 [15] Comment)"},
      {u"<a>\f</a>",
       "The character U+000C, which XML does not allow at line 1 [4] (XML 1.0 [2] "
       "Char)"},
      {u"<a>\uFFFE</a>", "U+FFFE, which XML does not allow at line 1 [4]"},
      {u"<a>&#RE;</a>", "A malformed character reference at line 1 [6] (XML 1.0 [66] CharRef)"},
      {u"<a>&#0;</a>", "(XML 1.0 WFC: Legal Character)"},
      {u"<1a/>", "The root element was expected at line 1 [1]"},
      {u"<?xml version='1.0' ?>\n<?xml version='1.0'?><a/>",
       "The target 'xml' is reserved: an XML declaration is allowed only at the very start at "
       "line 2 [6] (XML 1.0 [17] PITarget)"},
      {u"<?xml encoding='UTF-8'?><a/>", "'version' was expected at line 1 [7]"},
      {u"<a b='1'c='2'/>", "White space is required between attributes at line 1 [9]"},
      {u"<a b='1' b='2'/>", "The attribute 'b' appears twice"},
      {u"<a b='1' B='2'/>", "differ only in letter case"},
      {u"<a b='<'/>",
       "'<' inside an attribute value at line 1 [7] (XML 1.0 WFC: No < in "
       "Attribute Values)"},
      {u"<a>&e;</a>",
       "The entity 'e' is not declared at line 1 [7] (XML 1.0 WFC: Entity "
       "Declared)"},
      {u"<!DOCTYPE a [<!ENTITY e '<b>'>]><a>&e;</b></a>",
       "is not closed within the entity that opened it in the replacement text of entity 'e' at "
       "line 1 [36]"},
      {u"<!DOCTYPE a [<!ENTITY e 'x&e;'>]><a>&e;</a>", "(XML 1.0 WFC: No Recursion)"},
      {u"<!DOCTYPE a [<!ENTITY e SYSTEM 'e' NDATA n>]><a>&e;</a>",
       "(XML 1.0 WFC: Parsed "
       "Entity)"},
      {u"<!DOCTYPE a [<!ENTITY e SYSTEM 'e.xml'>]><a b='&e;'/>",
       "(XML 1.0 WFC: No External Entity References)"},
      {u"<!DOCTYPE a [<!ENTITY % p 'x'><!ENTITY e '%p;'>]><a/>",
       "(XML 1.0 WFC: PEs in "
       "Internal Subset)"},
      {u"<!DOCTYPE a [<!ELEMENT a (b,c|d)>]><a/>", "(XML 1.0 [49] choice / [50] seq)"},
      {u"<!DOCTYPE a [<!ELEMENT a (#PCDATA|b)>]><a/>", "')*' was expected"},
      {u"<!DOCTYPE a [<![INCLUDE[]]>]><a/>", "A markup declaration was expected"},
      {u"<a>\n\n  <b>\n</a>", "The end tag 'a' does not match the start tag 'b' at line 4 [5]"},
      {u"<a>", "The element 'a' is not closed at line 1 [4] (XML 1.0 [39] element)"},
      {u"", "Unable to Parse Empty Data"},
      {u"  ", "The root element was expected at line 1 [3]"},
  };
  for (const Case& c : cases) {
    const std::string outcome = Read(c.source);
    EXPECT_TRUE(outcome.starts_with("error: ") && outcome.find(c.expected) != std::string::npos)
        << ToUtf8(c.source) << "\n  gave: " << outcome << "\n  expected: " << c.expected;
  }
}

TEST(Xml10Reader, DecodesBytesAsTheirMarkOrDeclarationSays) {
  const struct {
    std::string_view bytes;
    std::string_view expected;
  } cases[] = {
      {"<a>\xC3\xA9</a>", "<a>\"\xC3\xA9\"</a> encoding 1"},
      {"\xEF\xBB\xBF<a>\xC3\xA9</a>", "<a>\"\xC3\xA9\"</a> encoding 1"},
      // CR LF and lone CRs between runs of sixteen bytes and more.
      {"<a>0123456789abcdef\r\n0123456789abcdef\r\r\n0123456789abcdef\r</a>",
       "<a>\"0123456789abcdef\n0123456789abcdef\n\n0123456789abcdef\n\"</a> encoding 1"},
      {"<?xml version='1.0' encoding='ISO-8859-1'?><a>\xE9</a>", "<a>\"\xC3\xA9\"</a> encoding 0"},
      {"<?xml version='1.0' encoding='windows-1252'?><a>\x80</a>",
       "<a>\"\xE2\x82\xAC\"</a> encoding 0"},
      {std::string_view("\xFF\xFE<\0a\0/\0>\0", 10), "<a></a> encoding 2"},
      {std::string_view("\xFE\xFF\0<\0a\0/\0>", 10), "<a></a> encoding 2"},
      // Malformed: a lone continuation byte, an overlong form, a surrogate, an unknown encoding.
      {"<a>\x80</a>", "error: Bytes that are not valid in the document's encoding at line 1 [4]"},
      {"<a>\xC0\xAF</a>", "error: Bytes that are not valid"},
      {"<a>\xED\xA0\x80</a>", "error: Bytes that are not valid"},
      {std::string_view("\xFF\xFE<\0a\0/\0>\0\x0A\xD8", 12), "error: Bytes that are not valid"},
      {"<?xml version='1.0' encoding='US-ASCII'?><a>\xE9</a>", "error: Bytes that are not valid"},
      {"<?xml version='1.0' encoding='EBCDIC-XY'?><a/>",
       "error: The encoding 'EBCDIC-XY' cannot be read"},
  };
  // Errors are compared up to the expected text's length.
  for (const auto& c : cases)
    EXPECT_EQ(ReadBytes(c.bytes).substr(0, c.expected.size()), c.expected) << c.bytes;
}

TEST(Xml10Reader, RefusesDocumentsThatExpandWithoutBound) {
  // The billion laughs: ten references in each of nine levels.
  std::u16string laughs = u"<!DOCTYPE r [<!ENTITY l0 'lol'>";
  for (int level = 1; level <= 9; ++level) {
    laughs += u"<!ENTITY l" + std::u16string(1, static_cast<char16_t>(u'0' + level)) + u" '";
    for (int i = 0; i < 10; ++i)
      laughs += u"&l" + std::u16string(1, static_cast<char16_t>(u'0' + level - 1)) + u";";
    laughs += u"'>";
  }
  laughs += u"]><r a='&l9;'>&l9;</r>";
  EXPECT_NE(Read(laughs).find("Entity expansion goes past the limit"), std::string::npos);

  // Quadratic: a long entity referred to many times, in text and in an attribute value.
  const std::u16string entity =
      u"<!DOCTYPE r [<!ENTITY a '" + std::u16string(20000, u'x') + u"'>]>";
  std::u16string references;
  for (int i = 0; i < 20000; ++i)
    references += u"&a;";
  EXPECT_NE(Read(entity + u"<r>" + references + u"</r>").find("goes past the limit"),
            std::string::npos);
  EXPECT_NE(Read(entity + u"<r a='" + references + u"'/>").find("goes past the limit"),
            std::string::npos);
}

TEST(Xml10Reader, ReadsAMillionNestedElementsWithoutDeepRecursion) {
  constexpr std::size_t kDepth = 1'000'000;
  std::u16string text;
  text.reserve(kDepth * 7);
  for (std::size_t i = 0; i < kDepth; ++i)
    text += u"<a>";
  for (std::size_t i = 0; i < kDepth; ++i)
    text += u"</a>";
  cXml document;
  document.SetSyntax(XmlSyntax::Xml10);
  ASSERT_TRUE(document.Parse(text)) << ToUtf8(document.Result());
  std::size_t depth = 1;
  for (NodeRef node = document.Root(); node->NodeCount() == 1; node = node->Node(1))
    ++depth;
  EXPECT_EQ(depth, kDepth);
}

TEST(Xml10Reader, TheDialectStaysTheDefault) {
  cXml document;
  EXPECT_EQ(document.Syntax(), XmlSyntax::Dialect);
  EXPECT_FALSE(document.Parse(u"<?xml version='1.0'?><a/>"));  // the dialect wants "
  document.SetSyntax(XmlSyntax::Xml10);
  EXPECT_TRUE(document.Parse(u"<?xml version='1.0'?><a/>"));
  // A failed parse leaves nothing of the document behind.
  EXPECT_TRUE(document.Parse(u"<!--c--><a/>"));
  EXPECT_FALSE(document.Parse(u"<!--c--><a>"));
  EXPECT_TRUE(document.Prolog().empty());
  EXPECT_EQ(document.XMLNode(), nullptr);
}

}  // namespace
}  // namespace kestrelwing
