// Runs a component's DllRegisterServer with the predefined registry keys redirected into a
// temporary key, and reads back the classes it registered. The live registry is never written.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ManifestModel.h"
#include "RegisteredInterfaces.h"
#include "WatchedThread.h"

namespace kestrelwing::regsvr42 {

struct CapturedRegistration {
  std::vector<ComClass> classes;  // classes whose InprocServer32 is the component, by CLSID
  std::vector<RegisteredInterface> interfaces;  // every HKCR\Interface key written
  std::vector<std::wstring> typeLibraryFiles;   // type libraries registered from files beside it
  std::vector<std::u16string> warnings;
};

// `component` is the loaded DLL, `componentPath` its full path; its DllRegisterServer runs on
// componentThread. Throws Failure.
CapturedRegistration CaptureRegistration(HMODULE component, const std::wstring& componentPath,
                                         WatchedThread& componentThread);

// While it lives, this process's HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS and
// HKEY_CURRENT_USER lead to an empty temporary key, as during a capture; AbandonCapture also ends
// it. Throws Failure(RegistryFailed).
class EmptyRegistryView {
 public:
  EmptyRegistryView();
  EmptyRegistryView(const EmptyRegistryView&) = delete;
  EmptyRegistryView& operator=(const EmptyRegistryView&) = delete;
  ~EmptyRegistryView();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// Ends a capture cut short by a crash or a component that does not return: restores the
// predefined keys and removes the temporary key. Allocates no memory of its own.
void AbandonCapture();

// Removes the temporary key of another generator's process, one that was ended from outside.
void RemoveCaptureOf(unsigned long processId);

}  // namespace kestrelwing::regsvr42
