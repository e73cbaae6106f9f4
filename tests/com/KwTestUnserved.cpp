// A test server whose registration names two classes while its DllGetClassObject serves only the
// first. Built four times: KwTestUnserved declines the second class, KwTestHangingFactory
// (KWTEST_HANG) never answers for it, KwTestCheckCrash (KWTEST_CRASH) crashes when asked for it,
// KwTestDeclinesAll (KWTEST_DECLINE_ALL) declines both.
// The class that hangs is Free-threaded, so that it is asked for from the multithreaded apartment.
#include "ComServer.h"

namespace {

// {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}
constexpr CLSID kServed = {
    0x6F1C2B3A, 0x5D4E, 0x4F60, {0x8A, 0x7B, 0x9C, 0x0D, 0x1E, 0x2F, 0x3E, 0x5B}};
constexpr wchar_t kServedKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}";
constexpr wchar_t kUnservedKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C}";
#if defined(KWTEST_HANG)
constexpr wchar_t kUnservedModel[] = L"Free";
#else
constexpr wchar_t kUnservedModel[] = L"Apartment";
#endif

}  // namespace

STDAPI DllRegisterServer() {
  return kwtest::WriteRegistryValues({
      {kServedKey, nullptr, L"Kestrelwing served object"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}\\InprocServer32", nullptr,
       kwtest::kModulePath},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}\\InprocServer32", L"ThreadingModel",
       L"Apartment"},
      {kUnservedKey, nullptr, L"Kestrelwing object nobody serves"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C}\\InprocServer32", nullptr,
       kwtest::kModulePath},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C}\\InprocServer32", L"ThreadingModel",
       kUnservedModel},
  });
}

STDAPI DllUnregisterServer() {
  return kwtest::DeleteRegistryKeys({kServedKey, kUnservedKey});
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
#if defined(KWTEST_DECLINE_ALL)
  (void)clsid;
  (void)iid;
#else
  if (IsEqualCLSID(clsid, kServed)) return kwtest::GetInertClassObject(iid, object);
#endif
#if defined(KWTEST_HANG)
  Sleep(INFINITE);
#elif defined(KWTEST_CRASH)
  // A null pointer the compiler cannot see coming: an export that does not exist.
  auto* nowhere = reinterpret_cast<volatile int*>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "KwNoSuchExport")));
  *nowhere = 1;
#endif
  if (object != nullptr) *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
  return S_OK;
}
