// A test server that imports from KwTestAbsent.dll, a DLL that is nowhere to be found, so that
// loading it fails before any of its code runs.
#include "ComServer.h"

extern "C" __declspec(dllimport) int KwTestAbsentFunction();

STDAPI DllRegisterServer() {
  return KwTestAbsentFunction() == 0 ? S_OK : E_FAIL;
}

STDAPI DllUnregisterServer() {
  return S_OK;
}
