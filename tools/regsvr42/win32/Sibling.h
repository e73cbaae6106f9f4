// The generator of the other bitness, installed as tools\x64\ beside the x86 one and as
// tools\x86\ beside the x64 one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// The bitness this generator was built for.
#if defined(_WIN64)
inline constexpr Architecture kOwnArchitecture = Architecture::Amd64;
#else
inline constexpr Architecture kOwnArchitecture = Architecture::X86;
#endif

// The installed generator for `architecture`, if there is one.
std::optional<std::wstring> FindSiblingGenerator(Architecture architecture);

// How long a hand-over may take before the sibling is ended. The sibling keeps the time limit
// itself, for each of its calls into the component (loading, DllRegisterServer, type libraries,
// unloading, leaving the component's apartment); the margin covers its start and its own work.
constexpr unsigned long HandOverLimitSeconds(unsigned timeoutSeconds) {
  return 5ul * timeoutSeconds + 30;
}

// How a program the generator started (the sibling, the self-check) ended.
struct ChildRun {
  enum class Outcome { Ended, NotStarted, TimedOut };
  Outcome outcome = Outcome::Ended;
  int exitCode = 0;         // when it ended
  unsigned long error = 0;  // when it could not be started: the system's error code
};

// Starts `program` with `commandLine` (its handles inherited) and waits for it at most
// limitSeconds; one that runs longer is ended. A temporary registry key it leaves, ended or
// crashed, is removed.
ChildRun RunWithinLimit(const std::wstring& program, std::wstring commandLine,
                        unsigned long limitSeconds);

// Runs `generator` on one component with the same settings, within limitSeconds.
ChildRun RunSiblingGenerator(const std::wstring& generator,
                             const std::vector<std::u16string>& settings,
                             const std::wstring& component, unsigned long limitSeconds);

// One argument quoted for a Windows command line, so that CommandLineToArgvW gives it back.
std::wstring QuoteArgument(const std::wstring& argument);

}  // namespace kestrelwing::regsvr42
