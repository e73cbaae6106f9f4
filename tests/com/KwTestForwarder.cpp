// A test server that serves its class through another module: its DllGetClassObject export is a
// forwarder to KwTestDual.dll's (KwTestForwarder.def), which the loader loads for it. Its
// registration names the dual server's class with itself as the server, as a component does that
// hands its class objects to a runtime it ships beside it.
#include "ComServer.h"

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}";
constexpr wchar_t kServerKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}\\InprocServer32";

}  // namespace

STDAPI DllRegisterServer() {
  return kwtest::WriteRegistryValues({
      {kClassKey, nullptr, L"Kestrelwing object served through another module"},
      {kServerKey, nullptr, kwtest::kModulePath},
      {kServerKey, L"ThreadingModel", L"Apartment"},
  });
}

STDAPI DllUnregisterServer() {
  return kwtest::DeleteRegistryKeys({kClassKey});
}

STDAPI DllCanUnloadNow() {
  return S_FALSE;
}
