// Starting another program from the window's actions: the parameter it is given, which paths may
// be handed to it, and how a launch that failed is told to the user.
#pragma once

#include <string>
#include <string_view>

#include "ActionHost.h"

namespace kestrelwing {

// path enclosed in double quotes, as one command-line parameter.
std::u16string Quoted(std::u16string_view path);

// True when path can be handed to a launched program: not empty and free of double quotes, which
// no Windows path holds and which would let typed text add switches to the command line.
bool IsLaunchablePath(std::u16string_view path);

// Tells the user that program could not be started, in one error message; silent when it started
// or when the user declined the elevation prompt (their own choice). True when it did not start.
bool ReportFailedLaunch(ActionHost& host, const LaunchResult& launch, std::u16string_view program);

}  // namespace kestrelwing
