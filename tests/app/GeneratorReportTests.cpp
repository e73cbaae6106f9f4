// The generator's report as "Generar SxS" shows it: its lines, the left-out classes gathered in
// the program's own words, and the rest as the generator wrote it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "GeneratorReport.h"

namespace kestrelwing {
namespace {

using Lines = std::vector<std::u16string>;

const std::u16string kGrid = u"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}";
const std::u16string kOther = u"{0B5A4C3D-2E1F-4A09-8B7C-6D5E4F3A2B1C}";

std::u16string LeftOutLine(const std::u16string& component, const std::u16string& named,
                           const std::u16string& code = u"80040111") {
  return u"regsvr42: left out " + component + u": class " + named +
         u": the component does not serve it (0x" + code + u")";
}

TEST(GeneratorReport, LinesAreUtf8EndingInCrLfOrLf) {
  const std::pair<std::string, Lines> cases[] = {
      {"", {}},
      {"\r\n", {u""}},
      {"uno\r\ndos\r\n", {u"uno", u"dos"}},
      {"uno\ndos", {u"uno", u"dos"}},         // bare LF, unfinished last line
      {"\xEF\xBB\xBFuno\r\n", {u"uno"}},      // a byte-order mark is skipped
      {"a\r\n\r\nb\r\n", {u"a", u"", u"b"}},  // empty lines stay
      {"gr\xC3\xA1\x66ico \xE6\x97\xA5\r\n", {u"gr\u00e1fico \u65e5"}},
      {"mal \xFF\r\n", {u"mal \uFFFD"}},  // ill-formed UTF-8
      {"a\rb\r\n", {u"a\rb"}},            // a lone CR is no line end
  };
  for (const auto& [bytes, lines] : cases) {
    SCOPED_TRACE(bytes);
    EXPECT_EQ(ReportLines(bytes), lines);
  }
}

TEST(GeneratorReport, LeftOutLinesNameTheirClass) {
  const std::pair<std::u16string, std::optional<std::u16string>> cases[] = {
      {LeftOutLine(u"grid.ocx", kGrid + u" (Mi.Rejilla.1)"), kGrid + u" (Mi.Rejilla.1)"},
      {LeftOutLine(u"grid.ocx", kGrid), kGrid},
      {LeftOutLine(u"Mi Rejilla (copia).ocx", kGrid + u" (A.B)", u"80004002"), kGrid + u" (A.B)"},
      {LeftOutLine(u"grid.ocx", kGrid, u"8004011a"), kGrid},
      // Anything else is another line.
      {LeftOutLine(u"grid.ocx", kGrid, u"8004011"), std::nullopt},       // seven digits
      {LeftOutLine(u"grid.ocx", kGrid, u"8004011G"), std::nullopt},      // not hexadecimal
      {LeftOutLine(u"grid.ocx", u"6F1C2B3A"), std::nullopt},             // no braces
      {LeftOutLine(u"grid.ocx", kGrid + u" Mi.Rejilla"), std::nullopt},  // ProgID not enclosed
      {LeftOutLine(u"grid.ocx", kGrid) + u".", std::nullopt},
      {u"regsvr42: " + LeftOutLine(u"grid.ocx", kGrid), std::nullopt},
      {u"regsvr42: left out grid.ocx: the component does not serve it (0x80040111)", std::nullopt},
      {u"regsvr42: wrote C:\\grid.sxs.manifest", std::nullopt},
      {u"", std::nullopt},
  };
  for (const auto& [line, named] : cases) {
    SCOPED_TRACE(std::string(line.begin(), line.end()));
    EXPECT_EQ(LeftOutClass(line), named);
  }
}

TEST(GeneratorReport, SectionPutsTheLeftOutClassesFirstInOneLineAndKeepsTheRest) {
  const std::u16string wrote = u"regsvr42: wrote C:\\Mis Componentes\\grid.sxs.manifest";
  const std::u16string failed =
      u"regsvr42: error: class " + kOther + u": CoGetClassObject failed with 0x80004005";
  const std::u16string omitted = u"Clases omitidas (el componente no las sirve): ";
  const std::pair<Lines, std::u16string> cases[] = {
      {{}, u""},
      {{wrote}, u"\n\n" + wrote},
      {{LeftOutLine(u"grid.ocx", kGrid + u" (Mi.Rejilla.1)")},
       u"\n\n" + omitted + kGrid + u" (Mi.Rejilla.1)"},
      {{failed, LeftOutLine(u"grid.ocx", kGrid), wrote, LeftOutLine(u"grid.ocx", kOther + u" (B)")},
       u"\n\n" + omitted + kGrid + u", " + kOther + u" (B)\n" + failed + u"\n" + wrote},
      {{u"", wrote}, u"\n\n\n" + wrote},
  };
  for (const auto& [lines, section] : cases) {
    EXPECT_EQ(ReportSection(lines), section);
  }
}

TEST(GeneratorReport, LongSectionShowsItsHeadAndTailAndCountsWhatItSkips) {
  // lines 1 to count; the left-out line stays first and counts for nothing.
  auto report = [](int count) {
    Lines lines = {LeftOutLine(u"grid.ocx", kGrid)};
    for (int i = 1; i <= count; ++i) {
      lines.push_back(u"line " + std::u16string(1, static_cast<char16_t>(u'@' + i)));
    }
    return lines;
  };
  auto shown = [](const Lines& lines, std::vector<int> kept, int skipped) {
    std::u16string text = u"\n\nClases omitidas (el componente no las sirve): " + kGrid;
    for (const int i : kept) {
      if (i == 0) {
        text += u"\n\u2026 (" + std::u16string(1, static_cast<char16_t>(u'0' + skipped)) +
                u" l\u00edneas m\u00e1s) \u2026";
      } else {
        text += u"\n" + lines[i];
      }
    }
    return text;
  };
  const Lines seventeen = report(17);  // 4 + 12 and one more: nothing worth skipping
  EXPECT_EQ(ReportSection(seventeen),
            shown(seventeen, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17}, 0));
  const Lines twenty = report(20);
  EXPECT_EQ(ReportSection(twenty),
            shown(twenty, {1, 2, 3, 4, 0, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, 4));
}

}  // namespace
}  // namespace kestrelwing
