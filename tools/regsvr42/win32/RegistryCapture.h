// Runs a component's DllRegisterServer with the predefined registry keys redirected into a
// temporary key, and reads back the classes it registered. The live registry is never written.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ManifestModel.h"
#include "RegisteredInterfaces.h"

namespace kestrelwing::regsvr42 {

struct CapturedRegistration {
  std::vector<ComClass> classes;  // classes whose InprocServer32 is the component, by CLSID
  std::vector<RegisteredInterface> interfaces;  // every HKCR\Interface key written
  std::vector<std::wstring> typeLibraryFiles;   // type libraries registered from files beside it
  std::vector<std::u16string> warnings;
};

// `component` is the loaded DLL, `componentPath` its full path. Throws Failure.
CapturedRegistration CaptureRegistration(HMODULE component, const std::wstring& componentPath);

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

// Removes the temporary key of another process of this program that ended without removing it
// (one stopped from outside).
void RemoveTemporaryKeyOf(unsigned long processId);

// Ends a capture cut short by a crash: restores the predefined keys and removes the temporary key.
void AbandonCapture();

}  // namespace kestrelwing::regsvr42
