// A test server whose DllRegisterServer succeeds without registering anything.
#include "ComServer.h"

STDAPI DllRegisterServer() {
  return S_OK;
}

STDAPI DllUnregisterServer() {
  return S_OK;
}

STDAPI DllGetClassObject(REFCLSID, REFIID, void** object) {
  return kwtest::NoClassObject(object);
}

STDAPI DllCanUnloadNow() {
  return S_OK;
}
