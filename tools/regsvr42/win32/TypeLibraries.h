// Reads the type libraries embedded in a component (its TYPELIB resources), and those it registered
// from files of their own, without registering them.
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
  std::vector<TypeLibrary> libraries;          // embedded in the component
  std::vector<TypeLibraryFile> files;          // read from files of their own
  std::vector<ProxyStubInterface> interfaces;  // dual and oleautomation interfaces, each IID once
  std::vector<CoClassOrigin> coClasses;        // which library describes which class
  std::vector<std::u16string> describedIids;   // every interface and dispinterface
};

// Throws Failure when a TYPELIB resource is there but cannot be read as a type library.
TypeLibraryContents ReadTypeLibraries(const std::wstring& componentPath);

// Adds the type library of a .tlb file to `contents`, unless one with its LIBID is there already.
// Throws Failure when the file cannot be read as a type library.
void ReadTypeLibraryFile(const std::wstring& path, TypeLibraryContents& contents);

}  // namespace kestrelwing::regsvr42
