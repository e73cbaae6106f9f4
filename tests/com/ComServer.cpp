#include "ComServer.h"

#include <ole2.h>

#include <atomic>

namespace kwtest {
namespace {

HMODULE g_module = nullptr;
std::atomic<long> g_serverReferences{0};

std::wstring TypeLibraryPath(int resourceId) {
  std::wstring path = ModulePath();
  if (resourceId != 1) path += L"\\" + std::to_wstring(resourceId);
  return path;
}

HRESULT LoadEmbeddedTypeLibrary(int resourceId, ITypeLib** library) {
  return LoadTypeLibEx(TypeLibraryPath(resourceId).c_str(), REGKIND_NONE, library);
}

class InertFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // A static object: it lives as long as the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** object) override {
    if (object != nullptr) *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

InertFactory g_inertFactory;

}  // namespace

HRESULT GetInertClassObject(REFIID iid, void** object) {
  return g_inertFactory.QueryInterface(iid, object);
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HRESULT WriteRegistryValues(std::initializer_list<RegistryValue> values, HKEY root) {
  const std::wstring module = ModulePath();
  for (const RegistryValue& value : values) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(root, value.key, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    const std::wstring data = value.data == std::wstring_view(kModulePath) ? module : value.data;
    status = RegSetValueExW(key, value.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                            static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

HRESULT DeleteRegistryKeys(std::initializer_list<const wchar_t*> keys, HKEY root) {
  for (const wchar_t* key : keys) {
    LSTATUS status = RegDeleteTreeW(root, key);
    if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
      RegDeleteKeyW(root, key);
      continue;
    }
    return HRESULT_FROM_WIN32(status);
  }
  return S_OK;
}

HRESULT RegisterEmbeddedTypeLibrary(int resourceId) {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadEmbeddedTypeLibrary(resourceId, &library);
  if (FAILED(hr)) return hr;
  std::wstring path = TypeLibraryPath(resourceId);
  hr = RegisterTypeLib(library, path.data(), nullptr);
  library->Release();
  return hr;
}

HRESULT UnregisterEmbeddedTypeLibrary(int resourceId) {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadEmbeddedTypeLibrary(resourceId, &library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attributes = nullptr;
  hr = library->GetLibAttr(&attributes);
  if (SUCCEEDED(hr)) {
    hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                           attributes->lcid, attributes->syskind);
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
  // Already gone is as good as removed.
  return hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_LIBNOTREGISTERED ? S_OK : hr;
}

void AddServerReference() {
  ++g_serverReferences;
}
void ReleaseServerReference() {
  --g_serverReferences;
}
bool ServerInUse() {
  return g_serverReferences != 0;
}

}  // namespace kwtest

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    kwtest::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}
