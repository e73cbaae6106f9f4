// The self-check's end read in one place, and the time limits decided in one place.
#include <gtest/gtest.h>

#include <kestrelwing/cXmlNode.h>

#include "ChildOutcome.h"
#include "TimeLimits.h"

namespace kestrelwing::regsvr42 {
namespace {

using Outcome = ChildRun::Outcome;

TEST(ChildOutcome, EveryEndOfTheSelfCheckHasOneHonestCode) {
  struct Case {
    ChildRun run;
    std::optional<ExitCode> code;  // none: every item passed
    std::u16string message;        // empty: the check wrote its own line
  };
  const Case cases[] = {
      {{Outcome::Ended, 0, 0}, std::nullopt, u""},
      {{Outcome::Ended, 13, 0}, ExitCode::ManifestRejected, u""},
      {{Outcome::Ended, 12, 0}, ExitCode::ComponentCrashed, u""},
      {{Outcome::Ended, 16, 0}, ExitCode::ReadFailed, u""},
      {{Outcome::Ended, 10, 0}, ExitCode::RegistryFailed, u""},
      {{Outcome::Ended, 17, 0}, ExitCode::CheckNotRun, u""},
      // Codes the check never ends with: an abort (3), a code of the generator's own run, an
      // exception that passed every guard, an exit code nobody could read.
      {{Outcome::Ended, 3, 0},
       ExitCode::CheckNotRun,
       u"the self-check ended with exit code 0x00000003, which it never gives by itself; nothing "
       u"of the component was proven"},
      {{Outcome::Ended, 11, 0}, ExitCode::CheckNotRun, u"ended with exit code 0x0000000B"},
      {{Outcome::Ended, 15, 0}, ExitCode::CheckNotRun, u"ended with exit code 0x0000000F"},
      {{Outcome::Ended, static_cast<int>(0xC0000005u), 0},
       ExitCode::CheckNotRun,
       u"ended with exit code 0xC0000005"},
      {{Outcome::Ended, -1, 0}, ExitCode::CheckNotRun, u"ended with exit code 0xFFFFFFFF"},
      {{Outcome::NotStarted, 0, 5},
       ExitCode::CheckNotRun,
       u"the self-check cannot be started (access denied)"},
      {{Outcome::TimedOut, 15, 0},
       ExitCode::ManifestRejected,
       u"the self-check did not end within 150 s and was stopped"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.run.exitCode);
    const std::optional<Failure> failure = CheckFailure(c.run, 150, u"access denied");
    ASSERT_EQ(failure.has_value(), c.code.has_value());
    if (!failure) continue;
    EXPECT_EQ(failure->Code(), *c.code);
    if (c.message.empty()) {
      EXPECT_TRUE(failure->Message().empty()) << ToUtf8(failure->Message());
    } else {
      EXPECT_NE(failure->Message().find(c.message), std::u16string::npos)
          << ToUtf8(failure->Message());
    }
  }
}

TEST(TimeLimits, EachWaitIsCounted) {
  // The check's items take -timeout:, at most 30 s.
  EXPECT_EQ(CheckItemLimitSeconds(3), 3u);
  EXPECT_EQ(CheckItemLimitSeconds(kDefaultTimeoutSeconds), 30u);
  EXPECT_EQ(CheckItemLimitSeconds(kLongestTimeoutSeconds), 30u);
  // Its calls, two threads entering and leaving their apartments, and 30 s for the rest.
  EXPECT_EQ(CheckLimitSeconds(0, 30), 150u);
  EXPECT_EQ(CheckLimitSeconds(10, 3), 72u);
  // The sibling: loading, DllRegisterServer, type libraries, unloading, entering and leaving the
  // apartment, and 30 s.
  EXPECT_EQ(HandOverLimitSeconds(60), 390u);
  EXPECT_EQ(HandOverLimitSeconds(1), 36u);
}

}  // namespace
}  // namespace kestrelwing::regsvr42
