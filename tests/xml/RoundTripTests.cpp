// Parse -> save -> parse keeps the tree: generated documents in every save layout and encoding,
// the reference example byte for byte, and the project's own manifests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <string>
#include <vector>

#include <kestrelwing/cXml.h>

#include "ManifestRoundTrip.h"
#include "TreeDiff.h"
#include "WriterTestSupport.h"

namespace kestrelwing {
namespace {

namespace fs = std::filesystem;
using testing::CompareTrees;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

std::span<const std::uint8_t> AsBytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// A document of the accepted dialect, made at random from a seed, together with the tree that
// reading it must give. Its text varies what the dialect lets vary (blanks, comments, entity or
// raw characters, end-tag letter case, the two forms of an empty element), so that reading has
// to normalise and the writer has to produce text the reader takes back.
class GeneratedDocument {
 public:
  GeneratedDocument(unsigned seed, bool latin1Only) : random_(seed), latin1Only_(latin1Only) {
    tree = Element(0, /*isRoot=*/true);
    const int declaration = Pick(3);
    if (declaration == 1) {
      text = u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + Blank();
    } else if (declaration == 2) {
      text = u"<?xml version=\"1.0\" encoding=\"windows-1252\" standalone=\"yes\"?>" + Blank();
    }
    if (Chance(3)) text += u"<!-- generated -->" + Blank();
    text += text_;
  }

  NodeRef tree;
  std::u16string text;

 private:
  static constexpr std::u16string_view kLetters =
      u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  static constexpr std::u16string_view kNameChars =
      u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789`!@#$^_-:";

  int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
  bool Chance(int oneIn) { return Pick(oneIn) == 0; }
  template <typename T>
  const T& PickOf(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Pick(static_cast<int>(items.size())))];
  }

  std::u16string Blank() {
    static const std::vector<std::u16string> blanks = {u"", u" ", u"\r\n", u"\t", u"\r\n  "};
    return PickOf(blanks);
  }

  std::u16string Name() {
    std::u16string name(1, kLetters[static_cast<std::size_t>(Pick(kLetters.size()))]);
    for (int n = Pick(8); n > 0; --n) {
      name += kNameChars[static_cast<std::size_t>(Pick(kNameChars.size()))];
    }
    return name;
  }

  // One piece of content: a character, or a surrogate pair outside Latin-1 mode.
  std::u16string Piece(bool markup) {
    static const std::vector<std::u16string> plain = {
        u"a", u"b", u"Z", u"7", u" ", u"-", u".", u"\u00E9", u"\u00FC", u"\u00DF", u"\u00C0"};
    static const std::vector<std::u16string> wide = {u"\u20AC", u"\u65E5", u"\u03A9", u"\U0001F600",
                                                     u"\u0416"};
    static const std::vector<std::u16string> marks = {u"<", u">",    u"&",    u"'",    u"\"",
                                                      u"]", u"\r\n", u"&lt;", u"&#38;"};
    const int kind = Pick(10);
    if (markup && kind < 2) return PickOf(marks);
    if (!latin1Only_ && kind == 2) return PickOf(wide);
    return PickOf(plain);
  }

  // Text that reading keeps as it is: it starts with a letter (no leading blanks, no marker).
  std::u16string Content(int maxPieces) {
    std::u16string content(1, kLetters[static_cast<std::size_t>(Pick(kLetters.size()))]);
    for (int n = Pick(maxPieces); n > 0; --n)
      content += Piece(true);
    return content;
  }

  // What a CDATA section may hold here: no end marker inside.
  std::u16string CDataContent() {
    std::u16string content;
    do {
      content = Chance(5) ? u"" : Content(12);
    } while (content.find(u"]]>") != std::u16string::npos);
    return content;
  }

  // Entities where they are needed, and at random where the raw character would do too.
  std::u16string Escape(std::u16string_view value, char16_t quote) {
    std::u16string out;
    for (char16_t c : value) {
      if (c == u'&') {
        out += u"&amp;";
      } else if (c == u'<' && (quote == 0 || Chance(2))) {
        out += u"&lt;";
      } else if (c == quote) {
        out += u"&quot;";
      } else if (c == u'>' && Chance(2)) {
        out += u"&gt;";
      } else if (c == u'\'' && Chance(2)) {
        out += u"&apos;";
      } else if (c == u'"' && Chance(2)) {
        out += u"&quot;";
      } else {
        out += c;
      }
    }
    return out;
  }

  std::u16string EndTag(const std::u16string& name) {
    std::u16string end = name;
    if (Chance(4)) {
      for (char16_t& c : end) {
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
      }
    }
    return u"</" + end + u">";
  }

  // Appends the element's text to text_ and returns its node.
  NodeRef Element(int depth, bool isRoot) {
    NodeRef node = MakeNode();
    const std::u16string name = Name();
    node->SetName(name);
    text_ += u"<" + name;

    // Property names are unique ignoring letter case; a repeat would only replace a value.
    std::vector<std::u16string> seen;
    for (int n = Pick(4); n > 0; --n) {
      const std::u16string property = Name();
      std::u16string folded = property;
      for (char16_t& c : folded) {
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
      }
      if (std::find(seen.begin(), seen.end(), folded) != seen.end()) continue;
      seen.push_back(folded);
      std::u16string value;
      for (int pieces = Pick(12); pieces > 0; --pieces)
        value += Piece(true);
      node->SetPropertyValue(property, value);
      text_ += (Chance(2) ? u" " : Blank() + u" ") + property + (Chance(4) ? u" =\"" : u"=\"") +
               Escape(value, u'"') + u"\"";
    }

    // The root always has children; below it, elements with children grow rarer with depth.
    const int kind = isRoot ? 3 : depth >= 5 ? Pick(3) : depth <= 1 ? Pick(6) : Pick(5);
    if (kind == 0) {  // empty
      text_ += Chance(2) ? u"/>" : u">" + Blank() + EndTag(name);
    } else if (kind == 1) {  // text
      const std::u16string value = Content(16);
      node->SetValue(value);
      text_ += u">" + Blank() + (Chance(4) ? u"<!-- before the text -->" : u"") + Escape(value, 0) +
               EndTag(name);
    } else if (kind == 2) {  // CDATA
      const std::u16string content = CDataContent();
      node->SetValue(u"<![CDATA[" + content + u"]]>");
      text_ += u">" + Blank() + (Chance(3) ? u"<![cdata[" : u"<![CDATA[") + content + u"]]>" +
               Blank() + EndTag(name);
    } else {  // children (kinds 3 to 5)
      text_ += u">";
      for (int n = isRoot ? 4 + Pick(6) : 1 + Pick(4); n > 0; --n) {
        text_ += Blank();
        if (Chance(6)) text_ += u"<!-- between -->" + Blank();
        node->Add(Element(depth + 1, false));
      }
      if (Chance(6)) {  // a CDATA section after the children becomes the value
        const std::u16string content = CDataContent();
        node->SetValue(u"<![CDATA[" + content + u"]]>");
        text_ += Blank() + u"<![CDATA[" + content + u"]]>";
      }
      text_ += Blank() + EndTag(name);
    }
    return node;
  }

  std::mt19937 random_;
  bool latin1Only_;
  std::u16string text_;
};

// A UTF-16 file without a mark reads as narrow; it is decoded here and read as text.
bool ParseSaved(cXml& document, const fs::path& file, std::int32_t encodingId, bool bom) {
  if (encodingId != 2 || bom) return document.Parse(file.u16string());
  const std::string bytes = ReadBytes(file);
  std::u16string text;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return document.Parse(text);
}

TEST(RoundTripTest, GeneratedDocumentsKeepTheirTreeInEveryLayoutAndEncoding) {
  TempFolder folder;
  const fs::path file = folder / "generated.xml";
  int compared = 0;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    const bool latin1Only = seed % 3 == 0;
    const GeneratedDocument generated(seed, latin1Only);
    SCOPED_TRACE("seed " + std::to_string(seed) + ": " + ToUtf8(generated.text));

    cXml document;
    const std::string source = "\xEF\xBB\xBF" + ToUtf8(generated.text);
    ASSERT_TRUE(document.Parse(AsBytes(source))) << ToUtf8(document.Result());
    ASSERT_EQ(CompareTrees(*generated.tree, *document.Root()).difference, "");

    for (bool pretty : {true, false}) {
      for (std::int32_t identType : {0, 1}) {
        for (bool bom : {false, true}) {
          for (std::int32_t encoding : {-1, 0, 1, 2}) {
            SCOPED_TRACE(std::string(pretty ? "pretty" : "one line") + ", identType " +
                         std::to_string(identType) + (bom ? ", mark" : "") + ", encoding " +
                         std::to_string(encoding));
            ASSERT_TRUE(document.Save(file.u16string(), pretty, identType, bom, encoding))
                << ToUtf8(document.Result());
            const std::int32_t written = document.EncodingId();
            // Narrow output cannot hold characters beyond the code page: they become '?'.
            if (written == 0 && !latin1Only) continue;
            cXml reread;
            ASSERT_TRUE(ParseSaved(reread, file, written, bom)) << ToUtf8(reread.Result());
            ASSERT_EQ(CompareTrees(*generated.tree, *reread.Root()).difference, "");
            ++compared;
          }
        }
      }
    }
  }
  EXPECT_GT(compared, 24 * 16 / 2);
}

TEST(RoundTripTest, ReferenceExampleReadsAndWritesBackByteForByte) {
  TempFolder folder;
  const std::string tabs(testing::kReferenceExample);
  const std::string spaces = testing::WithSpaces(tabs);
  const std::string oneLine = testing::OnOneLine(tabs);

  const fs::path file = folder / "config.xml";
  WriteBytes(file, tabs);
  cXml document;
  ASSERT_TRUE(document.Parse(file.u16string())) << ToUtf8(document.Result());
  EXPECT_EQ(document.EncodingId(), 0);  // plain ASCII without a mark reads as narrow
  ASSERT_TRUE(document.Save(file.u16string()));
  EXPECT_EQ(ReadBytes(file), tabs);
  EXPECT_EQ(document.EncodingId(), 1);  // the declaration named UTF-8
  ASSERT_TRUE(document.Save(file.u16string(), true, 0));
  EXPECT_EQ(ReadBytes(file), spaces);
  ASSERT_TRUE(document.Save(file.u16string(), false, 0));
  EXPECT_EQ(ReadBytes(file), oneLine);
  ASSERT_TRUE(document.Parse(file.u16string())) << ToUtf8(document.Result());
  ASSERT_TRUE(document.Save(file.u16string(), false, 1));
  EXPECT_EQ(ReadBytes(file), oneLine);
}

// In the dialect a character reference stays text in Value(), as it always has, and is written
// back as it stands, so that it means after a round trip what it meant before (it used to come
// back as "&amp;#169;", which an XML processor reads as six characters). An '&' written as
// "&amp;" reads as a plain '&' and so, when a reference follows it, is written back as one: the
// dialect's Value() cannot tell the two apart.
TEST(RoundTripTest, DialectKeepsCharacterReferencesAsTheyStand) {
  const struct {
    std::string source;
    std::u16string value;     // the root's Value()
    std::u16string property;  // its property "name"
    std::string saved;
  } cases[] = {
      {"<a name=\"Contoso&#x2E;Ledger.app\">&#169; 2026</a>", u"&#169; 2026",
       u"Contoso&#x2E;Ledger.app", "<a name=\"Contoso&#x2E;Ledger.app\">&#169; 2026</a>"},
      {"<a name=\"&#38;&amp;\">&#x2e;&#X2E;&#;&#65</a>", u"&#x2e;&#X2E;&#;&#65", u"&#38;&",
       "<a name=\"&#38;&amp;\">&#x2e;&amp;#X2E;&amp;#;&amp;#65</a>"},
      {"<a name=\"&lt;&amp;lt;\">&amp;#169;</a>", u"&#169;", u"<&lt;",
       "<a name=\"&lt;&amp;lt;\">&#169;</a>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    cXml document;
    ASSERT_TRUE(document.Parse(AsBytes(c.source))) << ToUtf8(document.Result());
    EXPECT_EQ(document.RootValue(), c.value);
    EXPECT_EQ(document.PropertyValue(u"name"), c.property);
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(document.SaveToBytes(bytes, false));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.saved);
  }
}

TEST(ManifestRoundTripTest, ProjectManifestsKeepEveryElementAndTheirEncoding) {
  // For each manifest: the encoding it is read in, and the description of its last class,
  // which holds its non-ASCII characters and shows that none was decoded wrongly.
  const std::map<std::string, std::pair<int, std::u16string>> expected = {
      {"chart.sxs.manifest",
       {1,
        u"Leyenda (\u65E5\u672C\u8A9E / \u0395\u03BB\u03BB\u03B7\u03BD\u03B9\u03BA\u03AC) "
        u"\U0001F600"}},
      {"grid.sxs.manifest", {0, u"Grid column"}},
      {"legacy.sxs.manifest", {0, u"Control de facturaci\u00F3n \u2014 a\u00F1o fiscal (\u00A9)"}},
      {"report.sxs.manifest", {2, u"P\u00E1gina"}},
      {"toolbox.sxs.manifest",
       {1, u"C\u00E1lculo del a\u00F1o fiscal \u2014 \u00FAltima versi\u00F3n"}},
  };
  const fs::path manifests = fs::path(KESTRELWING_TEST_DATA) / "manifests";
  TempFolder folder;
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(manifests)) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ASSERT_EQ(expected.count(name), 1u) << "a manifest this test does not know";
    const fs::path rewritten = folder / name;
    const auto result = testing::RoundTripManifest(entry.path(), rewritten);
    EXPECT_TRUE(result.readable);
    EXPECT_EQ(result.failure, "");
    EXPECT_GE(result.elements, 10u);
    EXPECT_EQ(result.readEncoding, expected.at(name).first);

    cXml document;
    ASSERT_TRUE(document.Parse(rewritten.u16string())) << ToUtf8(document.Result());
    const std::vector<NodeRef> classes = document.NodeByName(u"file")->Nodes(u"comClass");
    ASSERT_FALSE(classes.empty());
    EXPECT_EQ(ToUtf8(classes.back()->PropertyValue(u"description")),
              ToUtf8(expected.at(name).second));
    ++files;
  }
  EXPECT_EQ(files, expected.size());
}

}  // namespace
}  // namespace kestrelwing
