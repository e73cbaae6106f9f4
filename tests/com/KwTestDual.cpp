// The dual-interface test server: one class, KwTestDual, with a ProgID, a version-independent
// ProgID and an embedded type library. Its IDispatch side is served from that type library, so a
// client can call it by name without any registration when a manifest describes it.
#include "ComServer.h"

#include <ole2.h>

#include <new>

namespace {

// {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}
constexpr CLSID kClsidTestDual = {
    0x6F1C2B3A, 0x5D4E, 0x4F60, {0x8A, 0x7B, 0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x4B}};
// {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A41}
constexpr IID kIidTestDual = {
    0x6F1C2B3A, 0x5D4E, 0x4F60, {0x8A, 0x7B, 0x9C, 0x0D, 0x1E, 0x2F, 0x3A, 0x41}};

constexpr wchar_t kGreeting[] = L"Hello from Kestrelwing";

// The vtable of IKwTestDual as the type library describes it.
struct IKwTestDual : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Add(LONG left, LONG right, LONG* sum) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Greeting(BSTR* text) = 0;
};

class TestDual final : public IKwTestDual {
 public:
  explicit TestDual(ITypeInfo* typeInfo) : typeInfo_(typeInfo) {
    typeInfo_->AddRef();
    kwtest::AddServerReference();
  }
  TestDual(const TestDual&) = delete;
  TestDual& operator=(const TestDual&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIidTestDual)) {
      *object = static_cast<IKwTestDual*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    if (index != 0) return DISP_E_BADINDEX;
    typeInfo_->AddRef();
    *info = typeInfo_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return DispGetIDsOfNames(typeInfo_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override {
    return DispInvoke(static_cast<IKwTestDual*>(this), typeInfo_, id, flags, parameters, result,
                      exception, argumentError);
  }

  HRESULT STDMETHODCALLTYPE Add(LONG left, LONG right, LONG* sum) override {
    if (sum == nullptr) return E_POINTER;
    *sum = left + right;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Greeting(BSTR* text) override {
    if (text == nullptr) return E_POINTER;
    *text = SysAllocString(kGreeting);
    return *text != nullptr ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~TestDual() {
    typeInfo_->Release();
    kwtest::ReleaseServerReference();
  }

  LONG references_ = 1;
  ITypeInfo* typeInfo_;
};

class TestDualFactory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  // The factory is a static object: it lives as long as the module.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    ITypeInfo* typeInfo = nullptr;
    HRESULT hr = LoadInterfaceTypeInfo(&typeInfo);
    if (FAILED(hr)) return hr;
    TestDual* instance = new (std::nothrow) TestDual(typeInfo);
    typeInfo->Release();
    if (instance == nullptr) return E_OUTOFMEMORY;
    hr = instance->QueryInterface(iid, object);
    instance->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      kwtest::AddServerReference();
    } else {
      kwtest::ReleaseServerReference();
    }
    return S_OK;
  }

 private:
  // The interface's description comes from the type library inside this DLL, never from the
  // registry: the object must work when nothing about it is registered.
  static HRESULT LoadInterfaceTypeInfo(ITypeInfo** typeInfo) {
    ITypeLib* library = nullptr;
    HRESULT hr = LoadTypeLibEx(kwtest::ModulePath().c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(kIidTestDual, typeInfo);
    library->Release();
    return hr;
  }
};

TestDualFactory g_factory;

constexpr wchar_t kClassKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}";
constexpr wchar_t kInprocKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}\\InprocServer32";
constexpr wchar_t kProgIdKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}\\ProgID";
constexpr wchar_t kVersionIndependentKey[] =
    L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}\\VersionIndependentProgID";
constexpr wchar_t kTypeLibKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}\\TypeLib";
constexpr wchar_t kVersionKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}\\Version";
constexpr wchar_t kDescription[] = L"Kestrelwing test dual object";
constexpr wchar_t kClsid[] = L"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A4B}";

}  // namespace

STDAPI DllRegisterServer() {
  HRESULT hr = kwtest::WriteRegistryValues({
      {kClassKey, nullptr, kDescription},
      {kInprocKey, nullptr, kwtest::kModulePath},
      {kInprocKey, L"ThreadingModel", L"Apartment"},
      {kProgIdKey, nullptr, L"Kestrelwing.TestDual.1"},
      {kVersionIndependentKey, nullptr, L"Kestrelwing.TestDual"},
      {kTypeLibKey, nullptr, L"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A40}"},
      {kVersionKey, nullptr, L"1.0"},
      {L"Kestrelwing.TestDual.1", nullptr, kDescription},
      {L"Kestrelwing.TestDual.1\\CLSID", nullptr, kClsid},
      {L"Kestrelwing.TestDual", nullptr, kDescription},
      {L"Kestrelwing.TestDual\\CLSID", nullptr, kClsid},
      {L"Kestrelwing.TestDual\\CurVer", nullptr, L"Kestrelwing.TestDual.1"},
  });
  if (SUCCEEDED(hr)) hr = kwtest::RegisterEmbeddedTypeLibrary(1);
  return hr;
}

STDAPI DllUnregisterServer() {
  HRESULT typeLibrary = kwtest::UnregisterEmbeddedTypeLibrary(1);
  HRESULT keys =
      kwtest::DeleteRegistryKeys({kClassKey, L"Kestrelwing.TestDual.1", L"Kestrelwing.TestDual"});
  return FAILED(typeLibrary) ? typeLibrary : keys;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, kClsidTestDual)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() {
  return kwtest::ServerInUse() ? S_FALSE : S_OK;
}
