// Reads the type libraries embedded in a component (its TYPELIB resources) without registering
// them.
#pragma once

#include <string>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

struct CoClassOrigin {
  std::u16string clsid;
  std::u16string typeLibraryId;
};

struct TypeLibraryContents {
  std::vector<TypeLibrary> libraries;
  std::vector<ProxyStubInterface> interfaces;  // dual and oleautomation interfaces, each IID once
  std::vector<CoClassOrigin> coClasses;        // which library describes which class
  std::vector<std::u16string> describedIids;   // every interface and dispinterface
};

// Throws Failure when a TYPELIB resource is there but cannot be read as a type library.
TypeLibraryContents ReadTypeLibraries(const std::wstring& componentPath);

}  // namespace kestrelwing::regsvr42
