// A test server whose DllRegisterServer succeeds without registering anything.
#include "ComServer.h"

STDAPI DllRegisterServer() {
  return S_OK;
}

STDAPI DllUnregisterServer() {
  return S_OK;
}
