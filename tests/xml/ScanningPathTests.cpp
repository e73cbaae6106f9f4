// The SSE2 paths of the readers and the writer against the portable code beside them: documents
// whose runs of text, names, blanks and references end just before, on and after the edges of
// 16- and 32-byte blocks, in UTF-8, UTF-16 and windows-1252, read in both syntaxes, must give the
// same acceptance, message, tree and saved bytes on both paths.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <iterator>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <kestrelwing/cXml.h>

#include "Corpus.h"
#include "ScanningPaths.h"

namespace kestrelwing {
namespace {

using testing::CompareReadings;
using testing::CompareScanningPaths;
using testing::ParseOnPath;
using testing::PathReading;
using testing::SaveOnPath;
using testing::ScanningPaths;

std::span<const std::uint8_t> AsBytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Runs of these lengths put a delimiter just before, on and after a block's edge (the blocks are
// 8, 16 and 32 units long), and the shifted documents below move the edges once more.
constexpr std::size_t kRunLengths[] = {0,  1,  7,  8,  9,  14, 15, 16, 17, 18, 30,
                                       31, 32, 33, 34, 47, 48, 49, 63, 64, 65, 100};

std::u16string Letters(std::size_t length, char16_t first = u'a') {
  std::u16string run;
  for (std::size_t i = 0; i < length; ++i)
    run += static_cast<char16_t>(first + i % 26);
  return run;
}

std::u16string Blanks(std::size_t length) {
  constexpr std::u16string_view kBlanks = u" \t\r\n  \r\n";
  std::u16string blanks;
  for (std::size_t i = 0; i < length; ++i)
    blanks += kBlanks[i % kBlanks.size()];
  return blanks;
}

// Documents around a run of n units; some are well-formed, some break a rule right after the run.
std::vector<std::u16string> DocumentsAround(std::size_t n) {
  const std::u16string run = Letters(n), blanks = Blanks(n);
  std::u16string name = u"n";
  name += Letters(n, u'A');
  return {
      u"<r>" + run + u"</r>",
      u"<r>" + run + u"&amp;" + run + u"&lt;&#65;&#x263A;&gt;" + run + u"</r>",
      u"<r a=\"" + run + u"&quot;" + run + u"\" b=\"" + run + u"\"/>",
      u"<" + name + u" " + name + u"=\"v\" z" + name + u"=\"w\"></" + name + u">",
      u"<r" + blanks + u"a=\"1\"" + blanks + u"b=\"2\"" + blanks + u"/>" + blanks,
      u"<r>" + blanks + u"<c>" + run + u"</c>" + blanks + u"<c/>" + blanks + u"</r>",
      u"<r a=\"" + run + u"é" + run + u"\">" + run + u"é" + run + u"€" + run + u"😀" + run + u"</r>",
      u"<r a=\"" + run + u"\r\n" + run + u"\r" + u"\">" + run + u"\r\n" + run + u"\r" + run +
          u"\n\r" + u"</r>",
      u"<r><!--" + run + u"--><c><![CDATA[" + run + u"]" + run + u"]]></c><d>" + run + u"\t" + run +
          u"</d></r>",
      u"<r>" + run + u"<c k=\"" + run + u"\">" + run + u"</c>" + run + u"<c k=\"" + run + u"\">" +
          run + u"</c>" + u"</r>",
      // Each breaks a rule just after the run.
      u"<r a=\"" + run + u"<\"/>",
      u"<r>" + run + u"\x01</r>",
      u"<r>" + run + u"&bogus;</r>",
      u"<r>" + run + u"&#xD800;</r>",
      u"<r>" + run + u"]]></r>",
      u"<r>" + run + u" & </r>",
      u"<" + name + u"></" + name + u"y>",
      u"<r>" + run,
      u"<r a=\"" + run,
      u"<r " + name,
  };
}

// The byte forms a document is read in, its own declaration replaced: UTF-8 without one and
// declared, UTF-16 both ways round with their marks (one declared), and windows-1252 declared
// (where it has no character, a reference).
std::vector<std::string> Encoded(std::u16string_view text) {
  if (text.starts_with(u"<?xml ")) text.remove_prefix(text.find(u"?>") + 2);
  std::string utf16le = "\xFF\xFE", utf16be = "\xFE\xFF";
  std::u16string declared = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
  declared += text;
  for (const char16_t unit : declared)
    utf16le += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  for (const char16_t unit : text)
    utf16be += {static_cast<char>(unit >> 8), static_cast<char>(unit & 0xFF)};
  std::string windows1252 = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>";
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) {
      windows1252 += static_cast<char>(unit);
    } else if (unit == u'€') {
      windows1252 += '\x80';
    } else {
      const bool pair = unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size();
      const char32_t character =
          pair ? 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00) : unit;
      char reference[16];
      std::snprintf(reference, sizeof reference, "&#x%X;", static_cast<unsigned>(character));
      windows1252 += reference;
    }
  }
  return {ToUtf8(text), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + ToUtf8(text), utf16le,
          utf16be, windows1252};
}

// Bytes no text holds: UTF-8 broken at a block's edge, a lone UTF-16 half.
std::vector<std::string> BrokenBytesAround(std::size_t n) {
  const std::string run = ToUtf8(Letters(n));
  std::string utf16 = "\xFF\xFE";
  for (const char c : "<r>" + run)
    utf16 += {c, '\0'};
  utf16.append("\x00\xD8<\0/\0r\0>\0", 10);
  return {"<r>" + run + "\xC3\x28</r>", "<r a=\"" + run + "\xE2\x82\"/>",
          "<r>" + run + "\xF0\x9F\x98", "<r>" + run + "\xC3\xA9\xC3</r>", utf16};
}

// "run 16, document 3, form 2": where a document came from (appended piece by piece, which g++ 12
// for i686 does not mistake for overlapping copies).
std::string Label(std::initializer_list<std::pair<std::string_view, std::size_t>> parts) {
  std::string label;
  for (const auto& [what, number] : parts) {
    if (!label.empty()) label += ", ";
    label += what;
    label += ' ';
    label += std::to_string(number);
  }
  return label;
}

struct Tally {
  int accepted = 0;
  int refused = 0;
};

// Compares both paths on bytes in both syntaxes, counting what the wide path made of them.
void ExpectSamePaths(const std::string& bytes, const std::string& label, Tally (&tally)[2]) {
  for (const XmlSyntax syntax : {XmlSyntax::Dialect, XmlSyntax::Xml10}) {
    EXPECT_EQ(CompareScanningPaths(AsBytes(bytes), syntax), "")
        << label << (syntax == XmlSyntax::Xml10 ? " (XML 1.0)" : " (dialect)") << ": "
        << ToUtf8(FromUtf8(bytes.substr(0, 120)));
    cXml document;
    document.SetSyntax(syntax);
    ++(document.Parse(AsBytes(bytes)) ? tally[static_cast<int>(syntax)].accepted
                                      : tally[static_cast<int>(syntax)].refused);
  }
}

TEST(ScanningPathTest, RunsAroundBlockEdgesReadAndSaveAlikeOnBothPaths) {
  Tally tally[2];
  for (const std::size_t n : kRunLengths) {
    const std::vector<std::u16string> documents = DocumentsAround(n);
    for (std::size_t d = 0; d < documents.size(); ++d) {
      // Shifted by a comment, so that each delimiter also meets the edges from another offset.
      std::u16string shifted = u"<!--";
      shifted += Letters(n % 13);
      shifted += u"-->";
      shifted += documents[d];
      for (const std::u16string& text : {documents[d], shifted}) {
        const std::vector<std::string> forms = Encoded(text);
        for (std::size_t form = 0; form < forms.size(); ++form) {
          ExpectSamePaths(forms[form], Label({{"run", n}, {"document", d + 1}, {"form", form + 1}}),
                          tally);
        }
      }
    }
    const std::vector<std::string> broken = BrokenBytesAround(n);
    for (std::size_t b = 0; b < broken.size(); ++b)
      ExpectSamePaths(broken[b], Label({{"run", n}, {"broken", b + 1}}), tally);
  }
  // Both outcomes met in both syntaxes: the comparison saw messages as well as trees and bytes.
  for (const Tally& counts : tally) {
    EXPECT_GT(counts.accepted, 1000);
    EXPECT_GT(counts.refused, 1000);
  }
}

TEST(ScanningPathTest, BenchmarkShapedDocumentsReadAndSaveAlikeOnBothPaths) {
  using namespace kestrelwing::bench;
  const std::string documents[] = {
      AttributeHeavyDocument(24 << 10),
      TextLeavesDocument(24 << 10),
      NestedDocument(48 << 10),
      GrowthDocument(Shape::WideAttributes, 70),
      GrowthDocument(Shape::Siblings, 90),
      GrowthDocument(Shape::Depth, 70),
  };
  Tally tally[2];
  for (std::size_t d = 0; d < std::size(documents); ++d) {
    ASSERT_GT(documents[d].size(), 200u);
    const std::vector<std::string> forms = Encoded(FromUtf8(documents[d]));
    for (std::size_t form = 0; form < forms.size(); ++form) {
      ExpectSamePaths(forms[form], Label({{"document", d + 1}, {"form", form + 1}}), tally);
    }
  }
  for (const Tally& counts : tally) {
    EXPECT_EQ(counts.accepted, static_cast<int>(std::size(documents) * 5));
  }
}

// The comparison itself tells each kind of difference: two different documents, read one on
// each path, stand for two paths that disagree.
TEST(ScanningPathTest, ComparisonTellsEveryKindOfDifference) {
  struct Case {
    std::string wide, portable;
    XmlSyntax syntax;
    std::string_view difference;  // where the answer starts
  };
  const std::string utf16 = std::string("\xFF\xFE<\0a\0/\0>\0", 10);
  const Case cases[] = {
      {"<a/>", "<a/>", XmlSyntax::Dialect, ""},
      {"<a/>", "<a", XmlSyntax::Dialect, "only the wide path parsed"},
      {"<a", "<a/>", XmlSyntax::Xml10, "only the portable path parsed"},
      {"<a", "<a b", XmlSyntax::Xml10, "Result()"},
      {"<a/>", utf16, XmlSyntax::Dialect, "EncodingId()"},
      {"<a/>", "<b/>", XmlSyntax::Xml10, "root: /a: name"},
      {"<a x=\"1\"/>", "<a x=\"2\"/>", XmlSyntax::Dialect, "root: /a: property 1"},
      {"<a><b/>x</a>", "<a><b/><![CDATA[x]]></a>", XmlSyntax::Xml10, "root: /a/#text[2]: kind"},
      {"<?xml version=\"1.0\"?><a/>", "<a/>", XmlSyntax::Xml10, "declaration:"},
      {"<!--c--><a/>", "<a/>", XmlSyntax::Xml10, "prolog: 1 nodes"},
      {"<a/><?p?>", "<a/><?q?>", XmlSyntax::Xml10, "epilog: node 1"},
  };
  for (const Case& test : cases) {
    PathReading wide, portable;
    ParseOnPath(AsBytes(test.wide), test.syntax, /*wide=*/true, wide);
    ParseOnPath(AsBytes(test.portable), test.syntax, /*wide=*/false, portable);
    const std::string difference = CompareReadings(wide, portable);
    EXPECT_EQ(difference.substr(0, test.difference.size()), test.difference) << difference;
    EXPECT_EQ(difference.empty(), test.difference.empty()) << test.wide;
  }
  // The same tree saved into different bytes.
  PathReading wide, portable;
  ParseOnPath(AsBytes("<a>x</a>"), XmlSyntax::Dialect, /*wide=*/true, wide);
  ParseOnPath(AsBytes("<a>x</a>"), XmlSyntax::Dialect, /*wide=*/false, portable);
  SaveOnPath(/*wide=*/true, wide);
  SaveOnPath(/*wide=*/false, portable);
  ASSERT_EQ(CompareReadings(wide, portable), "");
  portable.saves[1] += ' ';
  EXPECT_EQ(CompareReadings(wide, portable).substr(0, 22), "save 2 differs from by");
}

TEST(ScanningPathTest, ChoiceIsRestoredWhenTheScopeEndsOrThrows) {
  const bool before = ScanningPaths::Wide();
  {
    const ScanningPaths portable(false);
    EXPECT_FALSE(ScanningPaths::Wide());
    {
      const ScanningPaths wide(true);
      EXPECT_TRUE(ScanningPaths::Wide());
    }
    EXPECT_FALSE(ScanningPaths::Wide());
  }
  EXPECT_EQ(ScanningPaths::Wide(), before);
  try {
    const ScanningPaths other(!before);
    throw std::runtime_error("a failing check");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(ScanningPaths::Wide(), before);
}

}  // namespace
}  // namespace kestrelwing
