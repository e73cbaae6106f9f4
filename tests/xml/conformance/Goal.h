// What each conformance case asks of this library read as XML 1.0, by its type:
//   not-wf          refused;
//   valid, invalid  accepted; where the case has an OUTPUT file, the canonical form equals it; and
//                   SaveToBytes without pretty printing, then Parse, gives that form again;
//   error           either answer.
// A case that needs an external entity (never read) is held only to acceptance when it is valid
// or invalid.
#pragma once

#include <optional>
#include <string>

#include "ExpectedList.h"
#include "Readers.h"
#include "SuiteIndex.h"

namespace kestrelwing::conformance {

// How the reading misses the case's goal, or nothing when it meets it. output: the case's
// canonical form when it has one.
std::optional<Miss> MissedGoal(const SuiteCase& suiteCase, const Reading& ours,
                               const std::optional<std::string>& output);

}  // namespace kestrelwing::conformance
