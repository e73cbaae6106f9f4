// Where Parse takes its text from: XML text, bytes, files and URLs (served by a real HTTP server
// on the loopback interface), and the sources that hold no data.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <kestrelwing/cXml.h>

#include "Edge.h"
#include "Encodings.h"
#include "LoopbackHttpServer.h"
#include "ReaderTesting.h"
#include "TreeDiff.h"
#include "WriterTestSupport.h"

namespace kestrelwing {
namespace {

namespace fs = std::filesystem;
using testing::FailureOf;
using testing::LoopbackHttpServer;
using testing::Parses;
using testing::TempFolder;
using testing::WriteBytes;

constexpr std::u16string_view kEmptyData = u"Unable to Parse Empty Data";

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

fs::path WriteFile(const TempFolder& folder, const fs::path& name, std::string_view bytes) {
  const fs::path file = folder / name;
  WriteBytes(file, std::string(bytes));
  return file;
}

// Records what the library reports to the user instead of showing it.
class ReportRecorder {
 public:
  ReportRecorder() { previous_ = platform::SetErrorReporter(&Record); }
  ~ReportRecorder() { platform::SetErrorReporter(previous_); }
  static std::vector<std::u16string> Take() { return std::exchange(reports_, {}); }

 private:
  static void Record(std::u16string_view message) { reports_.emplace_back(message); }
  static inline std::vector<std::u16string> reports_;
  platform::ErrorReporter previous_;
};

// A port on the loopback interface that nothing listens on.
std::uint16_t ClosedPort() {
  const LoopbackHttpServer server({});
  return server.Port();
}

TEST(SourceLoadingTest, TextThatIsNoPathIsTheDocumentItself) {
  cXml document;
  ASSERT_TRUE(document.Parse(Bytes("<a>\xC3\xA9</a>")));
  EXPECT_EQ(document.EncodingId(), 1);
  ASSERT_TRUE(Parses(document, u"<a/>"));
  EXPECT_EQ(document.RootName(), u"a");
  EXPECT_EQ(document.EncodingId(), 0);
  EXPECT_EQ(document.Result(), u"");

  // A leading byte-order mark is skipped, once.
  ASSERT_TRUE(Parses(document, u"\uFEFF<b/>"));
  EXPECT_EQ(document.RootName(), u"b");
  EXPECT_EQ(FailureOf(u"\uFEFF\uFEFF<b/>"), "Expected: < at line 1 [1]");
  EXPECT_EQ(FailureOf(u"\uFEFF"), "Unable to Parse Empty Data");

  // A mistyped relative file name is XML text, failing at its first character.
  EXPECT_EQ(FailureOf(u"no-such-manifest.xml"), "Expected: < at line 1 [1]");
}

TEST(SourceLoadingTest, CharactersOutsideTheNarrowCodePageSurvive) {
  const std::u16string value = u"\u65E5\u672C \u20AC \u0160 \u03A9";  // CJK, euro, S caron, omega
  const std::u16string text = u"\U0001D11E \u0416\u00E9";
  const std::u16string xml = u"<a v=\"" + value + u"\">" + text + u"</a>";
  const std::string utf8 = ToUtf8(xml);
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : xml) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>(unit >> 8);
  }
  cXml fromText;
  cXml fromUtf8;
  cXml fromUtf16;
  ASSERT_TRUE(Parses(fromText, xml));
  ASSERT_TRUE(fromUtf8.Parse(Bytes(utf8)));
  ASSERT_TRUE(fromUtf16.Parse(Bytes(utf16)));
  for (const cXml* document : {&fromText, &fromUtf8, &fromUtf16}) {
    EXPECT_EQ(document->PropertyValue(u"v"), value);
    EXPECT_EQ(document->RootValue(), text);
  }
  EXPECT_EQ(fromUtf8.EncodingId(), 1);
  EXPECT_EQ(fromUtf16.EncodingId(), 2);
}

TEST(SourceLoadingTest, BytesAreDecodedByTheirMarkOrContent) {
  struct Case {
    std::string_view bytes;
    std::int32_t encodingId;
    std::u16string_view value;
  };
  const Case cases[] = {
      {std::string_view("\xFF\xFE<\0a\0>\0x\0<\0/\0a\0>\0", 18), 2, u"x"},
      {std::string_view("\xFE\xFF\0<\0a\0>\0x\0<\0/\0a\0>", 18), 2, u"x"},
      {"\xEF\xBB\xBF<a>\xC3\xA9</a>", 1, u"\u00E9"},
      {"<a>\xC3\xA9</a>", 1, u"\u00E9"},
      {"<a>\xE9</a>", 0, u"\u00E9"},
      {"<a>plain</a>", 0, u"plain"},
  };
  for (const Case& source : cases) {
    cXml document;
    ASSERT_TRUE(document.Parse(Bytes(source.bytes))) << ToUtf8(document.Result());
    EXPECT_EQ(document.EncodingId(), source.encodingId);
    EXPECT_EQ(document.RootValue(), source.value);
  }
}

// UTF-8 and narrow bytes are read without decoding the whole document first; the tree and any
// message must be what the decoded text gives.
void ExpectTheTreeAndMessageOfTheText(std::string_view source) {
  cXml fromBytes;
  const bool parsed = fromBytes.Parse(Bytes(source));
  cXml fromText;
  const std::u16string text = detail::DecodeBytes(Bytes(source)).text;
  EXPECT_EQ(fromText.Parse(text), parsed) << source.substr(0, 200);
  EXPECT_EQ(fromBytes.Result(), fromText.Result()) << source.substr(0, 200);
  EXPECT_EQ(testing::CompareTrees(*fromText.Root(), *fromBytes.Root()).difference, "")
      << source.substr(0, 200);
  EXPECT_EQ(fromBytes.XMLNode() != nullptr, fromText.XMLNode() != nullptr);
  if (fromBytes.XMLNode() && fromText.XMLNode()) {
    EXPECT_EQ(testing::CompareTrees(*fromText.XMLNode(), *fromBytes.XMLNode()).difference, "");
  }
}

TEST(SourceLoadingTest, BytesGiveTheTreeAndTheMessageOfTheirText) {
  const std::string_view sources[] = {
      // UTF-8: characters of two, three and four bytes in values, text, CDATA and comments.
      "<?xml version=\"1.0\"?>\r\n<r a=\"\xC3\xA9t\xC3\xA9\" b=\"x &amp; \xE2\x82\xAC\">"
      "<!-- \xF0\x9F\x98\x80 --><c>\xE2\x82\xAC &lt;5&gt;</c><d><![cdata[\xC3\xA9]]></d></r>",
      // Ill-formed UTF-8 after a well-formed sequence: the replacement characters of the text.
      "<r>\xC3\xA9 \xE2\x82 \xC3 \xF0\x9F\x98 \xED\xA0\x80</r>",
      // Failures after multi-byte characters, where bytes and characters count differently.
      "<r v=\"\xC3\xA9\xC3\xA9\xC3\xA9\"><c>\xE2\x82\xAC</x></r>",
      "<r>\r\n<c a=\"\xE2\x82\xAC\" b='1'/></r>",
      "<r><c>\xC3\xA9</c><![CDATA[\xC3\xA9",
      "<r>\xC3\xA9",
      // Long runs of blanks and line breaks, before a failure and up to the end of the source.
      "<r>\r\n \t \r\n\r\n        \r\n            \t\r\n   <c>x</d></r>",
      "<r>\r\n    \r\n                                   \r\n\r\n    ",
      // Narrow: bytes of the upper half in names' neighbourhood, values and an unterminated end.
      "<r a=\"\xE9\x80\">\xFC\x9D</r>",
      "<r><c>\xE9</c2></r>",
      "<r a=\"\xE9",
  };
  for (const std::string_view source : sources)
    ExpectTheTreeAndMessageOfTheText(source);
}

// Large documents take their nodes from blocks shared by many nodes: whole, and cut short at
// places that fail in different ways, UTF-8 and narrow.
TEST(SourceLoadingTest, LargeBytesGiveTheTreeAndTheMessageOfTheirText) {
  for (const std::string_view character : {"\xC3\xA9", "\xE9"}) {
    std::string source = "<list>\r\n";
    for (int i = 0; source.size() < 200'000; ++i) {
      source.append("  <item n=\"").append(std::to_string(i)).append("\" a=\"");
      source.append(character).append("\"><v>t &amp; ").append(character);
      source.append("</v><w k=\"1\"/></item>\r\n");
    }
    source += "</list>";
    ExpectTheTreeAndMessageOfTheText(source);
    for (const std::size_t cut : {std::size_t{150'001}, std::size_t{150'017}, source.size() - 3})
      ExpectTheTreeAndMessageOfTheText(std::string_view(source).substr(0, cut));
  }
}

TEST(SourceLoadingTest, SourcesWithoutDataFailAndKeepTheEncoding) {
  TempFolder folder;
  const fs::path emptyFile = WriteFile(folder, "empty.xml", "");
  cXml document;
  ASSERT_TRUE(document.Parse(Bytes(std::string_view("\xFF\xFE<\0a\0/\0>\0", 10))));
  ASSERT_EQ(document.EncodingId(), 2);

  const std::u16string sources[] = {u"", u"Q:\\no\\such\\folder\\manifest.xml",
                                    folder.path().u16string(), emptyFile.u16string()};
  for (const std::u16string& source : sources) {
    EXPECT_FALSE(document.Parse(source)) << ToUtf8(source);
    EXPECT_EQ(document.Result(), kEmptyData) << ToUtf8(source);
    EXPECT_EQ(document.RootName(), u"cXmlNode");
  }
  EXPECT_FALSE(document.Parse(std::span<const std::uint8_t>()));
  EXPECT_EQ(document.Result(), kEmptyData);
  EXPECT_EQ(document.EncodingId(), 2);
}

TEST(SourceLoadingTest, FilesAreReadByTheirPathWhateverItsCharacters) {
  TempFolder folder;
  const fs::path utf16 = WriteFile(
      folder, "manifest.xml", std::string_view("\xFF\xFE<\0r\0 \0k\0=\0\"\0v\0\"\0/\0>\0", 22));
  cXml document;
  ASSERT_TRUE(Parses(document, utf16.u16string()));
  EXPECT_EQ(document.EncodingId(), 2);
  EXPECT_EQ(document.PropertyValue(u"k"), u"v");

  // A name outside any narrow code page: CJK, Cyrillic, and a character beyond the BMP.
  const fs::path unicode =
      WriteFile(folder, fs::path(u"manifiesto-\u00F1-\u65E5\u672C-\u0416-\U0001F600.xml"),
                "<?xml version=\"1.0\"?>\r\n<assembly/>");
  ASSERT_TRUE(Parses(document, unicode.u16string()));
  EXPECT_EQ(document.RootName(), u"assembly");
  EXPECT_EQ(document.EncodingId(), 0);
}

TEST(SourceLoadingTest, UrlsAreDownloadedIntoMemory) {
  const LoopbackHttpServer server(
      {{"/doc.xml", {200, "\xEF\xBB\xBF<?xml version=\"1.0\"?><doc n=\"1\"/>", ""}}});
  ASSERT_TRUE(server.Running()) << "no loopback socket could be opened";
  ReportRecorder reports;

  cXml document;
  ASSERT_TRUE(Parses(document, server.Url("/doc.xml")));
  EXPECT_EQ(document.RootName(), u"doc");
  EXPECT_EQ(document.EncodingId(), 1);
  EXPECT_TRUE(ReportRecorder::Take().empty());

  // A missing document, a server that does not answer, and a scheme nobody serves each tell
  // the user once, then fail like an empty source.
  const std::u16string failing[] = {
      server.Url("/missing.xml"),
      FromUtf8("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/doc.xml"),
      u"kw+test.1-x:<doc/>"};
  for (const std::u16string& url : failing) {
    EXPECT_FALSE(document.Parse(url)) << ToUtf8(url);
    EXPECT_EQ(document.Result(), kEmptyData);
    EXPECT_EQ(document.RootName(), u"cXmlNode");
    EXPECT_EQ(document.XMLNode(), nullptr);
    EXPECT_EQ(ReportRecorder::Take(), std::vector<std::u16string>{u"URL ERROR"}) << ToUtf8(url);
  }
}

TEST(SourceLoadingTest, ASingleLetterBeforeTheColonIsADriveNotAScheme) {
  ReportRecorder reports;
  EXPECT_EQ(FailureOf(u"C:\\missing.xml"), "Unable to Parse Empty Data");
  EXPECT_EQ(FailureOf(u"c:/missing.xml"), "Expected: < at line 1 [1]");
  EXPECT_EQ(FailureOf(u"<a href=\"http://x\"/>"), "parsed");
  EXPECT_TRUE(ReportRecorder::Take().empty());
}

}  // namespace
}  // namespace kestrelwing
