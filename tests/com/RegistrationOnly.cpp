// The class-object exports of the test components whose classes are registered but have no
// behaviour: every class is served by the inert factory, which creates nothing.
#include "ComServer.h"

STDAPI DllGetClassObject(REFCLSID, REFIID iid, void** object) {
  return kwtest::GetInertClassObject(iid, object);
}

STDAPI DllCanUnloadNow() {
  return S_OK;
}
