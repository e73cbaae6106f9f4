#include "ChildOutcome.h"

#include <cstdint>

#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

// The codes the check mode ends with, each after writing its own line: a failed item or an item
// that did not answer; a crash in the component; a file it cannot read; the empty registry view
// that cannot be set up; a failure of the check itself.
constexpr ExitCode kCheckModeCodes[] = {ExitCode::ManifestRejected, ExitCode::ComponentCrashed,
                                        ExitCode::ReadFailed, ExitCode::RegistryFailed,
                                        ExitCode::CheckNotRun};

}  // namespace

std::optional<Failure> CheckFailure(const ChildRun& run, unsigned long limitSeconds,
                                    std::u16string_view startError) {
  switch (run.outcome) {
    case ChildRun::Outcome::NotStarted:
      return Failure(ExitCode::CheckNotRun,
                     u"the self-check cannot be started (" + std::u16string(startError) + u")");
    case ChildRun::Outcome::TimedOut:
      return Failure(ExitCode::ManifestRejected, u"the self-check did not end within " +
                                                     Decimal(limitSeconds) + u" s and was stopped");
    case ChildRun::Outcome::Ended:
      break;
  }
  if (run.exitCode == 0) return std::nullopt;
  for (const ExitCode code : kCheckModeCodes) {
    if (run.exitCode == static_cast<int>(code)) return Failure(code, u"");
  }
  return Failure(ExitCode::CheckNotRun,
                 u"the self-check ended with exit code " +
                     HexCode(static_cast<std::uint32_t>(run.exitCode)) +
                     u", which it never gives by itself; nothing of the component was proven");
}

}  // namespace kestrelwing::regsvr42
