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

// Runs `generator` on one component with the same settings and answers its exit code; none, with
// the system's error code in `startError`, when it cannot be started.
std::optional<int> RunSiblingGenerator(const std::wstring& generator,
                                       const std::vector<std::u16string>& settings,
                                       const std::wstring& component, unsigned long& startError);

// One argument quoted for a Windows command line, so that CommandLineToArgvW gives it back.
std::wstring QuoteArgument(const std::wstring& argument);

}  // namespace kestrelwing::regsvr42
