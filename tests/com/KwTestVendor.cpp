// A test server registered the way third-party components do it. Two versions of one class
// (Kestrelwing.Vendor.Thing.3 and .2, both naming Kestrelwing.Vendor.Thing as version-independent
// ProgID, whose key leads to the newer through CurVer alone), a ProgID that only its key names, one
// whose key names a class of another file; InprocServer32 values through an environment variable
// (REG_EXPAND_SZ) and as the short 8.3 path; threading models in lower case and missing; interfaces
// registered with a proxy/stub class of its own and with another one; and its type library in
// KwTestVendor.tlb beside the DLL.
#include <ole2.h>

#include "ComServer.h"

namespace {

constexpr wchar_t kNewKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4B}";
constexpr wchar_t kOldKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4C}";
constexpr wchar_t kProxyKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4D}";
constexpr wchar_t kNewClsid[] = L"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4B}";
constexpr wchar_t kOldClsid[] = L"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4C}";
constexpr wchar_t kProxyClsid[] = L"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4D}";
constexpr wchar_t kCallbackKey[] = L"Interface\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F61}";
constexpr wchar_t kRemoteKey[] = L"Interface\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F62}";
constexpr wchar_t kHomeVariable[] = L"KWTEST_VENDOR_HOME";
constexpr wchar_t kFileName[] = L"KwTestVendor.dll";

std::wstring Folder() {
  const std::wstring path = kwtest::ModulePath();
  return path.substr(0, path.find_last_of(L'\\'));
}

// The server path through an environment variable, as installers write %ProgramFiles%\... values.
HRESULT RegisterExpandableServer() {
  if (!SetEnvironmentVariableW(kHomeVariable, Folder().c_str())) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  const std::wstring value = L"%" + std::wstring(kHomeVariable) + L"%\\" + kFileName;
  const std::wstring key = std::wstring(kNewKey) + L"\\InprocServer32";
  return HRESULT_FROM_WIN32(
      RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_EXPAND_SZ, value.c_str(),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

HRESULT RegisterShortServer() {
  const std::wstring path = kwtest::ModulePath();
  wchar_t shortPath[MAX_PATH];
  const DWORD length = GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(GetLastError());
  const std::wstring key = std::wstring(kOldKey) + L"\\InprocServer32";
  return HRESULT_FROM_WIN32(RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ,
                                            shortPath,
                                            static_cast<DWORD>((length + 1) * sizeof(wchar_t))));
}

HRESULT RegisterTypeLibraryFile() {
  const std::wstring path = Folder() + L"\\KwTestVendor.tlb";
  ITypeLib* library = nullptr;
  const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &library);
  if (SUCCEEDED(hr)) library->Release();
  return hr;
}

}  // namespace

STDAPI DllRegisterServer() {
  HRESULT hr = kwtest::WriteRegistryValues({
      {kNewKey, nullptr, L"Kestrelwing vendor thing 3"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4B}\\ProgID", nullptr,
       L"Kestrelwing.Vendor.Thing.3"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4B}\\VersionIndependentProgID", nullptr,
       L"Kestrelwing.Vendor.Thing"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4B}\\InprocServer32", L"ThreadingModel",
       L"apartment"},
      {kOldKey, nullptr, L"Kestrelwing vendor thing 2"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4C}\\ProgID", nullptr,
       L"Kestrelwing.Vendor.Thing.2"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4C}\\VersionIndependentProgID", nullptr,
       L"Kestrelwing.Vendor.Thing"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4C}\\InprocServer32", L"ThreadingModel",
       L"both"},
      {kProxyKey, nullptr, L"Kestrelwing vendor proxy/stub"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F4D}\\InprocServer32", nullptr,
       kwtest::kModulePath},
      {L"Kestrelwing.Vendor.Thing.3\\CLSID", nullptr, kNewClsid},
      {L"Kestrelwing.Vendor.Thing.2\\CLSID", nullptr, kOldClsid},
      {L"Kestrelwing.Vendor.Thing\\CurVer", nullptr, L"Kestrelwing.Vendor.Thing.3"},
      {L"Kestrelwing.Vendor.Alias\\CLSID", nullptr, kOldClsid},
      {L"Kestrelwing.Vendor.Elsewhere\\CLSID", nullptr, L"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3C4D}"},
      {kCallbackKey, nullptr, L"IKwVendorCallback"},
      {L"Interface\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F61}\\ProxyStubClsid32", nullptr,
       kProxyClsid},
      {L"Interface\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F61}\\NumMethods", nullptr, L"4"},
      {kRemoteKey, nullptr, L"IKwVendorRemote"},
      {L"Interface\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3F62}\\ProxyStubClsid32", nullptr,
       L"{00020420-0000-0000-C000-000000000046}"},
  });
  if (SUCCEEDED(hr)) hr = RegisterExpandableServer();
  if (SUCCEEDED(hr)) hr = RegisterShortServer();
  if (SUCCEEDED(hr)) hr = RegisterTypeLibraryFile();
  return hr;
}

STDAPI DllUnregisterServer() {
  UnRegisterTypeLib({0x6F1C2B3A, 0x5D4E, 0x4F60, {0x8A, 0x7B, 0x9C, 0x0D, 0x1E, 0x2F, 0x3F, 0x40}},
                    1, 2, 0, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  return kwtest::DeleteRegistryKeys({kNewKey, kOldKey, kProxyKey, kCallbackKey, kRemoteKey,
                                     L"Kestrelwing.Vendor.Thing.3", L"Kestrelwing.Vendor.Thing.2",
                                     L"Kestrelwing.Vendor.Thing", L"Kestrelwing.Vendor.Alias",
                                     L"Kestrelwing.Vendor.Elsewhere"});
}
