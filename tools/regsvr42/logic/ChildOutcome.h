// How a program the generator started (the sibling generator, the self-check) ended, and what the
// generator makes of the self-check's end.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Failure.h"

namespace kestrelwing::regsvr42 {

struct ChildRun {
  enum class Outcome { Ended, NotStarted, TimedOut };
  Outcome outcome = Outcome::Ended;
  int exitCode = 0;         // when it ended
  unsigned long error = 0;  // when it could not be started: the system's error code
};

// The self-check's end, the one place it is read: none when every item passed; otherwise the
// failure the generator ends with. The exit codes the check itself ends with pass through with an
// empty message (its line is written); `startError` describes run.error, and `limitSeconds` is the
// limit it was given.
std::optional<Failure> CheckFailure(const ChildRun& run, unsigned long limitSeconds,
                                    std::u16string_view startError);

}  // namespace kestrelwing::regsvr42
