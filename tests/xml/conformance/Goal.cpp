#include "Goal.h"

#include "Canonical.h"

namespace kestrelwing::conformance {

namespace {

std::string Differs(std::string_view expected, std::string_view actual) {
  return "canonical form differs at character " + std::to_string(FirstDifference(expected, actual));
}

}  // namespace

std::optional<Miss> MissedGoal(const SuiteCase& suiteCase, const Reading& ours,
                               const std::optional<std::string>& output) {
  switch (suiteCase.type) {
    case CaseType::Error:
      return std::nullopt;
    case CaseType::NotWellFormed:
      if (ours.accepted && !suiteCase.needsExternalEntity) {
        return Miss{"accepted", "not well-formed, yet accepted"};
      }
      return std::nullopt;
    case CaseType::Valid:
    case CaseType::Invalid:
      break;
  }
  if (!ours.accepted) return Miss{"refused", OneLine(ours.failure)};
  if (suiteCase.needsExternalEntity) return std::nullopt;
  const std::string canonical = ours.canonical.value_or("");
  if (output && *output != canonical) return Miss{"canonical", Differs(*output, canonical)};
  if (!ours.canonicalAfterRoundTrip) return Miss{"round-trip", OneLine(ours.roundTripFailure)};
  if (*ours.canonicalAfterRoundTrip != canonical) {
    return Miss{"round-trip",
                Differs(canonical, *ours.canonicalAfterRoundTrip) + " after SaveToBytes"};
  }
  return std::nullopt;
}

}  // namespace kestrelwing::conformance
