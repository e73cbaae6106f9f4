// A test server whose DllRegisterServer writes part of its class and then never returns, as one
// waiting for a dialog nobody answers does. With KWTEST_HANG_MS set it waits that many
// milliseconds instead and then fails, as one whose dialog the user answered.
#include "ComServer.h"

#include <olectl.h>

#include <cstdlib>

namespace {

constexpr wchar_t kClassKey[] = L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A5B}";

}  // namespace

STDAPI DllRegisterServer() {
  kwtest::WriteRegistryValues({
      {kClassKey, nullptr, L"Kestrelwing hanging object"},
      {L"CLSID\\{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3A5B}\\InprocServer32", nullptr,
       kwtest::kModulePath},
  });
  const char* wait = std::getenv("KWTEST_HANG_MS");
  if (wait == nullptr) Sleep(INFINITE);
  Sleep(static_cast<DWORD>(std::strtoul(wait, nullptr, 10)));
  return SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
  return kwtest::DeleteRegistryKeys({kClassKey});
}
