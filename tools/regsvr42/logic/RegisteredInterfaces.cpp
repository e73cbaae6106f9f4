#include "RegisteredInterfaces.h"

#include <set>

#include "AsciiCase.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

// A NumMethods value: decimal digits; 0 (unknown) for anything else.
int MethodCount(const std::u16string& text) {
  if (text.empty() || text.size() > 6) return 0;
  int count = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return 0;
    count = count * 10 + (c - u'0');
  }
  return count;
}

}  // namespace

void AddRegisteredInterfaces(const std::vector<RegisteredInterface>& registered,
                             const std::vector<std::u16string>& describedIids,
                             ComponentManifest& manifest) {
  std::set<std::u16string> known;
  for (const std::u16string& iid : describedIids)
    known.insert(AsciiUpper(iid));
  std::set<std::u16string> ownClasses;
  for (const ComClass& comClass : manifest.classes)
    ownClasses.insert(AsciiUpper(comClass.clsid));

  for (const RegisteredInterface& entry : registered) {
    if (entry.proxyStubClsid.empty() || !known.insert(AsciiUpper(entry.iid)).second) continue;
    ProxyStubInterface proxyStub;
    proxyStub.iid = AsciiUpper(entry.iid);
    proxyStub.name = entry.name;
    proxyStub.typeLibraryId = AsciiUpper(entry.typeLibraryId);
    proxyStub.numMethods = MethodCount(entry.numMethods);
    proxyStub.baseInterface = AsciiUpper(entry.baseInterface);
    proxyStub.proxyStubClsid = AsciiUpper(entry.proxyStubClsid);
    auto& destination = ownClasses.contains(proxyStub.proxyStubClsid) ? manifest.ownProxyStubs
                                                                      : manifest.interfaces;
    destination.push_back(std::move(proxyStub));
  }
}

}  // namespace kestrelwing::regsvr42
