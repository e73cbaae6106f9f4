// What each conformance case asks of this library, by its type and its reading.
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "Goal.h"

namespace kestrelwing::conformance {
namespace {

Reading Refused(std::string failure) {
  Reading reading;
  reading.failure = std::move(failure);
  return reading;
}
Reading Accepted(std::string canonical, std::optional<std::string> afterRoundTrip,
                 std::string roundTripFailure = "") {
  Reading reading;
  reading.accepted = true;
  reading.canonical = std::move(canonical);
  reading.canonicalAfterRoundTrip = std::move(afterRoundTrip);
  reading.roundTripFailure = std::move(roundTripFailure);
  return reading;
}

TEST(MissedGoal, FollowsTheCaseTypeTheOutputAndTheRoundTrip) {
  struct Case {
    const char* what;
    CaseType type;
    bool external;
    Reading reading;
    std::optional<std::string> output;
    std::optional<Miss> expected;
  };
  const std::string doc = "<doc></doc>";
  const Case cases[] = {
      {"not-wf refused", CaseType::NotWellFormed, false, Refused("bad"), {}, {}},
      {"not-wf accepted",
       CaseType::NotWellFormed,
       false,
       Accepted(doc, doc),
       {},
       Miss{"accepted", "not well-formed, yet accepted"}},
      {"not-wf accepted, external entity",
       CaseType::NotWellFormed,
       true,
       Accepted(doc, doc),
       {},
       {}},
      {"error accepted", CaseType::Error, false, Accepted(doc, doc), {}, {}},
      {"error refused", CaseType::Error, false, Refused("bad"), {}, {}},
      {"valid refused", CaseType::Valid, false, Refused("Expected: = at line 1 [15]\n"), doc,
       Miss{"refused", "Expected: = at line 1 [15]\\x0A"}},
      {"invalid refused, external entity",
       CaseType::Invalid,
       true,
       Refused("x"),
       {},
       Miss{"refused", "x"}},
      {"valid, external entity, another canonical form",
       CaseType::Valid,
       true,
       Accepted("<doc>x</doc>", "<doc>y</doc>"),
       doc,
       {}},
      {"valid, canonical form as the suite's", CaseType::Valid, false, Accepted(doc, doc), doc, {}},
      {"invalid without output, round trip kept",
       CaseType::Invalid,
       false,
       Accepted(doc, doc),
       {},
       {}},
      {"valid, another canonical form", CaseType::Valid, false,
       Accepted("<doc a=\"1\"></doc>", "<doc a=\"1\"></doc>"), doc,
       Miss{"canonical", "canonical form differs at character 5"}},
      {"valid, save failed", CaseType::Valid, false,
       Accepted(doc, std::nullopt, "SaveToBytes: cannot"), doc,
       Miss{"round-trip", "SaveToBytes: cannot"}},
      {"invalid, round trip changed the form",
       CaseType::Invalid,
       false,
       Accepted(doc, "<doc></do>"),
       {},
       Miss{"round-trip", "canonical form differs at character 10 after SaveToBytes"}},
  };
  for (const Case& testCase : cases) {
    SuiteCase suiteCase;
    suiteCase.type = testCase.type;
    suiteCase.needsExternalEntity = testCase.external;
    EXPECT_EQ(MissedGoal(suiteCase, testCase.reading, testCase.output), testCase.expected)
        << testCase.what;
  }
}

}  // namespace
}  // namespace kestrelwing::conformance
