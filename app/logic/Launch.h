// Starting another program from the window's actions: the parameter it is given, which paths may
// be handed to it, how the window looks while it waits for it, and how a launch that failed is
// told to the user.
#pragma once

#include <string>
#include <string_view>

#include "ActionHost.h"

namespace kestrelwing {

// The program's title: the window's caption while it waits for nothing, and every box's caption.
inline constexpr std::u16string_view kProgramTitle = u"Kestrelwing";

// What the window waits for a tool to do.
enum class Activity { Generating, Registering, Unregistering };

// The window's caption while it waits for activity: "Kestrelwing - Generando SxS...".
std::u16string BusyCaption(Activity activity);

// path enclosed in double quotes, as one command-line parameter.
std::u16string Quoted(std::u16string_view path);

// True when path can be handed to a launched program: not empty and free of double quotes, which
// no Windows path holds and which would let typed text add switches to the command line.
bool IsLaunchablePath(std::u16string_view path);

// host.RunElevated (no working folder) with the window shown busy with activity for as long as
// the call lasts, and shown normal again afterwards, however the call ends.
LaunchResult RunTool(ActionHost& host, Activity activity, std::u16string_view fileToRun,
                     std::u16string_view parameters, ShowCommand showCommand, bool waitForExit);

// Tells the user that program could not be started, in one error message; silent when it started
// or when the user declined the elevation prompt (their own choice). True when it did not start.
bool ReportFailedLaunch(ActionHost& host, const LaunchResult& launch, std::u16string_view program);

}  // namespace kestrelwing
