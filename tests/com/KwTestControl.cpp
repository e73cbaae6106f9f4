// The control-like test server: a class registered as a control, with MiscStatus values per
// aspect, no TypeLib key of its own (its library is found through the coclass), an extra ProgID
// that only the ProgID key names, and two embedded type libraries (resources 1 and 2).
#include "ComServer.h"

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}";
constexpr wchar_t kClsid[] = L"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}";
constexpr wchar_t kDescription[] = L"Kestrelwing test control";

// OLEMISC_SETCLIENTSITEFIRST | ACTIVATEWHENVISIBLE | INSIDEOUT | CANTLINKINSIDE | RECOMPOSEONRESIZE
constexpr wchar_t kContentStatus[] = L"131473";
// OLEMISC_INVISIBLEATRUNTIME
constexpr wchar_t kIconStatus[] = L"1024";

}  // namespace

STDAPI DllRegisterServer() {
  HRESULT hr = kwtest::WriteRegistryValues({
      {kClassKey, nullptr, kDescription},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}\\InprocServer32", nullptr,
       kwtest::kModulePath},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}\\InprocServer32", L"ThreadingModel",
       L"Apartment"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}\\ProgID", nullptr,
       L"Kestrelwing.TestControl.1"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}\\VersionIndependentProgID", nullptr,
       L"Kestrelwing.TestControl"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}\\Control", nullptr, L""},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}\\MiscStatus", nullptr, L"0"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}\\MiscStatus\\1", nullptr, kContentStatus},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3B4B}\\MiscStatus\\4", nullptr, kIconStatus},
      {L"Kestrelwing.TestControl.1", nullptr, kDescription},
      {L"Kestrelwing.TestControl.1\\CLSID", nullptr, kClsid},
      {L"Kestrelwing.TestControl", nullptr, kDescription},
      {L"Kestrelwing.TestControl\\CLSID", nullptr, kClsid},
      {L"Kestrelwing.TestControl\\CurVer", nullptr, L"Kestrelwing.TestControl.1"},
      {L"Kestrelwing.ControlAlias", nullptr, kDescription},
      {L"Kestrelwing.ControlAlias\\CLSID", nullptr, kClsid},
  });
  if (SUCCEEDED(hr)) hr = kwtest::RegisterEmbeddedTypeLibrary(1);
  if (SUCCEEDED(hr)) hr = kwtest::RegisterEmbeddedTypeLibrary(2);
  return hr;
}

STDAPI DllUnregisterServer() {
  HRESULT first = kwtest::UnregisterEmbeddedTypeLibrary(1);
  HRESULT second = kwtest::UnregisterEmbeddedTypeLibrary(2);
  HRESULT keys =
      kwtest::DeleteRegistryKeys({kClassKey, L"Kestrelwing.TestControl.1",
                                  L"Kestrelwing.TestControl", L"Kestrelwing.ControlAlias"});
  return FAILED(first) ? first : FAILED(second) ? second : keys;
}
