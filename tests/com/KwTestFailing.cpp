// A test server whose DllRegisterServer writes part of its class and then fails, as a broken
// registration does.
#include "ComServer.h"

#include <olectl.h>

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3D4B}";

}  // namespace

STDAPI DllRegisterServer() {
  kwtest::WriteRegistryValues({
      {kClassKey, nullptr, L"Kestrelwing failing object"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3D4B}\\InprocServer32", nullptr,
       kwtest::kModulePath},
  });
  return SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  return kwtest::DeleteRegistryKeys({kClassKey});
}
