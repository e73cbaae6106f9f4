// A test server whose DllRegisterServer crashes with an access violation after writing part of
// its registration.
#include "ComServer.h"

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E4B}";

}  // namespace

STDAPI DllRegisterServer() {
  kwtest::WriteRegistryValues({
      {kClassKey, nullptr, L"Kestrelwing crashing object"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E4B}\\InprocServer32", nullptr,
       kwtest::kModulePath},
  });
  // A null pointer the compiler cannot see coming: an export that does not exist.
  auto* nowhere = reinterpret_cast<volatile int*>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "KwNoSuchExport")));
  *nowhere = 1;
  return S_OK;
}

STDAPI DllUnregisterServer() {
  return kwtest::DeleteRegistryKeys({kClassKey});
}
