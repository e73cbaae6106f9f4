// A test server without a type library. Its second class has no threading model, is registered
// below HKLM\Software\Classes instead of HKCR, and claims the first class's ProgID; a third class
// it registers is served by another file and must not count as this component's.
#include "ComServer.h"

namespace {

constexpr wchar_t kFirstKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4B}";
constexpr wchar_t kSecondKey[] =
    L"Software\\Classes\\CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4C}";
constexpr wchar_t kForeignKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4D}";

}  // namespace

STDAPI DllRegisterServer() {
  HRESULT hr = kwtest::WriteRegistryValues({
      {kFirstKey, nullptr, L"Kestrelwing plain object"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4B}\\InprocServer32", nullptr,
       kwtest::kModulePath},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4B}\\InprocServer32", L"ThreadingModel",
       L"Both"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4B}\\ProgID", nullptr,
       L"Kestrelwing.TestPlain.1"},
      {L"Kestrelwing.TestPlain.1\\CLSID", nullptr, L"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4B}"},
      {kForeignKey, nullptr, L"Served by another file"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4D}\\InprocServer32", nullptr,
       L"C:\\elsewhere\\Other.dll"},
  });
  if (SUCCEEDED(hr)) {
    hr = kwtest::WriteRegistryValues(
        {
            {kSecondKey, nullptr, L"Kestrelwing plain object without threading model"},
            {L"Software\\Classes\\CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4C}\\InprocServer32",
             nullptr, kwtest::kModulePath},
            {L"Software\\Classes\\CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4C}\\ProgID", nullptr,
             L"Kestrelwing.TestPlain.1"},
        },
        HKEY_LOCAL_MACHINE);
  }
  return hr;
}

STDAPI DllUnregisterServer() {
  HRESULT classes =
      kwtest::DeleteRegistryKeys({kFirstKey, kForeignKey, L"Kestrelwing.TestPlain.1"});
  HRESULT machine = kwtest::DeleteRegistryKeys({kSecondKey}, HKEY_LOCAL_MACHINE);
  return FAILED(classes) ? classes : machine;
}
