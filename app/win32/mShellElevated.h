// mShellElevated: starts a program with administrator rights through the shell (verb "runas").
#pragma once

#include <cstdint>
#include <string_view>

#include "ActionHost.h"  // LaunchResult

namespace kestrelwing {

// Starts fileToRun with parameters in directory (empty: the current one), shown as showCommand.
// With waitForExit, returns only once the program has ended, dispatching this thread's window
// messages meanwhile. Answers whether it started, the system's error code when it did not (program
// not found, elevation declined), and the exit code of a program waited for. Shows no message of
// its own.
LaunchResult RunElevated(std::u16string_view fileToRun, std::u16string_view parameters,
                         std::u16string_view directory, std::int32_t showCommand, bool waitForExit);

}  // namespace kestrelwing
