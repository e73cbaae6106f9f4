// mShellElevated: starts a program with administrator rights through the shell (verb "runas").
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrelwing {

// Starts fileToRun with parameters in directory (empty: the current one), shown as showCommand.
// With waitForExit, returns only once the program has ended, dispatching this thread's window
// messages meanwhile, and puts the program's exit code in *exitCode when that is given. Nonzero
// when the launch succeeded; 0 when it failed (program not found, elevation declined). Shows no
// message of its own.
std::int32_t RunElevated(std::u16string_view fileToRun, std::u16string_view parameters,
                         std::u16string_view directory, std::int32_t showCommand, bool waitForExit,
                         std::optional<std::uint32_t>* exitCode = nullptr);

}  // namespace kestrelwing
