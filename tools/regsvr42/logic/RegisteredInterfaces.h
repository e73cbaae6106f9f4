// Proxy/stub entries for the interfaces a registration wrote under HKCR\Interface that no type
// library of the component describes.
#pragma once

#include <string>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// One HKCR\Interface\{IID} key: its default value and those of its subkeys, empty when missing.
struct RegisteredInterface {
  std::u16string iid;
  std::u16string name;
  std::u16string proxyStubClsid;  // ProxyStubClsid32
  std::u16string numMethods;      // NumMethods, as registered
  std::u16string baseInterface;   // BaseInterface
  std::u16string typeLibraryId;   // TypeLib
};

// For each registered interface that has a ProxyStubClsid32 and whose IID is not among
// `describedIids` (the interfaces of the component's type libraries, which decide for themselves):
// an entry in manifest.ownProxyStubs when the proxy/stub class is one of manifest.classes, else in
// manifest.interfaces with that class as its proxy/stub. IIDs compare without letter case and are
// written in upper case; an IID registered twice counts once.
void AddRegisteredInterfaces(const std::vector<RegisteredInterface>& registered,
                             const std::vector<std::u16string>& describedIids,
                             ComponentManifest& manifest);

}  // namespace kestrelwing::regsvr42
