// The class-object exports of the test components whose classes are only registered, never
// created.
#include "ComServer.h"

STDAPI DllGetClassObject(REFCLSID, REFIID, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
  return S_OK;
}
