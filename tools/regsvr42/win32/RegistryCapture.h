// Runs a component's DllRegisterServer with the predefined registry keys redirected into a
// temporary key, and reads back the classes it registered. The live registry is never written.
#pragma once

#include <windows.h>

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

// Ends a capture cut short by a crash or a component that does not return: restores the
// predefined keys and removes the temporary key. Allocates no memory of its own.
void AbandonCapture();

// Removes the temporary key of another generator's process, one that was ended from outside.
void RemoveCaptureOf(unsigned long processId);

}  // namespace kestrelwing::regsvr42
