// A component that crashes inside DllRegisterServer takes the generator's process with it. The
// guard turns that into the generator's usual failure: one error line and a non-zero exit code.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "Failure.h"

namespace kestrelwing::regsvr42 {

// Installs the process-wide handler; call once at start.
void InstallCrashGuard();

// While it lives, a crash is reported as the component's, during `step`.
class CrashContext {
 public:
  CrashContext(const std::u16string& component, const char16_t* step);
  CrashContext(const CrashContext&) = delete;
  CrashContext& operator=(const CrashContext&) = delete;
  ~CrashContext();
};

// Ends the generator at once, when a component's code cannot be trusted to return: removes the
// temporary registry key, writes the line (given in parts, UTF-8, with its line break) to
// standard error and the report, and ends the process with `code` without running any more of the
// component's code. Allocates no memory of its own.
[[noreturn]] void EndGenerator(std::initializer_list<std::string_view> line, ExitCode code);

}  // namespace kestrelwing::regsvr42
