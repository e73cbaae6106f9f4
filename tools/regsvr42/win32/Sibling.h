// The generator of the other bitness, installed as tools\x64\ beside the x86 one and as
// tools\x86\ beside the x64 one.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ChildOutcome.h"
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
