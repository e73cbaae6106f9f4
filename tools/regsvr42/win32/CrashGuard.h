// A component that crashes inside DllRegisterServer takes the generator's process with it. The
// guard turns that into the generator's usual failure: one error line and a non-zero exit code.
#pragma once

#include <string>

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

}  // namespace kestrelwing::regsvr42
