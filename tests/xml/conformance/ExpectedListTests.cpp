// The list of expected misses: written and read back unchanged, and compared with a run the way
// the conformance test decides.
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ExpectedList.h"

namespace kestrelwing::conformance {
namespace {

TEST(ExpectedList, OneLineKeepsAReasonOnOneLineWithoutOuterSpaces) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"Expected: = at line 1 [15]", "Expected: = at line 1 [15]"},
      {"  found \x0C at\r\nline 2\x7F ", "found \\x0C at\\x0D\\x0Aline 2\\x7F"},
      {"   ", ""},
      {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
  };
  for (const auto& [text, line] : cases)
    EXPECT_EQ(OneLine(text), line) << text;
}

TEST(ExpectedList, WrittenSortedByIdAndReadBackUnchanged) {
  const Misses misses = {
      {"valid-sa-002", {"refused", "Expected: = at line 1 [15]"}},
      {"ibm-valid-P01-ibm01v01.xml", {"canonical", "canonical form differs at character 7"}},
      {"not-wf-sa-001", {"accepted", "not well-formed, yet accepted"}},
      {"o-p01pass2", {"round-trip", ""}},
  };
  std::stringstream text;
  WriteMisses(text, misses);
  const std::string written = text.str();
  EXPECT_LT(written.find("\nibm-valid-P01"), written.find("\nnot-wf-sa-001"));
  EXPECT_LT(written.find("\nnot-wf-sa-001"), written.find("\no-p01pass2"));
  EXPECT_NE(written.find("\no-p01pass2 round-trip\n"), std::string::npos);
  EXPECT_EQ(ReadMisses(text), misses);
}

TEST(ExpectedList, ComparisonFailsOnEveryChangeButAReasonAlone) {
  const std::set<std::string> known = {"a", "b", "c", "d"};
  struct Case {
    const char* what;
    Misses listed;
    Misses run;
    std::vector<std::string> differences;
    std::size_t notes;
  };
  const Case cases[] = {
      {"as listed", {{"a", {"refused", "x"}}}, {{"a", {"refused", "x"}}}, {}, 0},
      {"a reason alone changed", {{"a", {"refused", "x"}}}, {{"a", {"refused", "y"}}}, {}, 1},
      {"a new miss", {}, {{"b", {"accepted", "r"}}}, {"NEW MISS b accepted r"}, 0},
      {"another outcome",
       {{"c", {"refused", "x"}}},
       {{"c", {"canonical", "d"}}},
       {"CHANGED c: listed refused, now canonical d"},
       0},
      {"a listed case now meets its goal",
       {{"d", {"refused", "x"}}},
       {},
       {"NOW MEETS ITS GOAL d (listed refused): remove it from the list"},
       0},
      {"a listed ID no case has", {{"z", {"refused", "x"}}}, {}, {"UNKNOWN CASE z in the list"}, 0},
  };
  for (const Case& testCase : cases) {
    const ListComparison comparison = CompareMisses(testCase.listed, testCase.run, known);
    EXPECT_EQ(comparison.differences, testCase.differences) << testCase.what;
    EXPECT_EQ(comparison.notes.size(), testCase.notes) << testCase.what;
  }
}

}  // namespace
}  // namespace kestrelwing::conformance
