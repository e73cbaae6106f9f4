// mShellElevated: starts a program with administrator rights through the shell (verb "runas").
#pragma once

#include <cstdint>
#include <string_view>

#include "ActionHost.h"  // LaunchResult

namespace kestrelwing {

// Starts fileToRun with parameters in directory (empty: the current one), shown as showCommand.
// With waitForExit, returns only once the program has ended, dispatching this thread's window
// messages meanwhile. Nonzero when the launch succeeded; 0 when it failed (program not found,
// elevation declined). When outcome is given, it receives the system's error code of a failed
// launch and the exit code of a program waited for. Shows no message of its own.
std::int32_t RunElevated(std::u16string_view fileToRun, std::u16string_view parameters,
                         std::u16string_view directory, std::int32_t showCommand, bool waitForExit,
                         LaunchResult* outcome = nullptr);

}  // namespace kestrelwing
