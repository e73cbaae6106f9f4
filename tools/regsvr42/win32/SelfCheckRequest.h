// What the self-check's two processes share: the request the generator gives its check child on
// the command line, and what both read from the pending manifest.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <kestrelwing/cXml.h>

#include "TimeLimits.h"

namespace kestrelwing::regsvr42 {

struct CheckArguments {
  std::wstring manifest;         // the pending component manifest (finished)
  std::wstring component;        // full path of the component file
  std::u16string label;          // the component as named on the command line, for the lines
  std::wstring clientManifest;   // the staged client manifest; empty without a client
  std::wstring clientComponent;  // the component staged beside it; empty when it is not beside
  std::wstring declined;         // the file the child lists the classes the component declines in
  std::wstring report;           // the report the child adds its lines to; empty without one
  unsigned itemLimitSeconds = kLongestCheckItemSeconds;
};

// The child's command line, starting with the program.
std::wstring CheckCommandLine(const std::wstring& program, const CheckArguments& arguments);

// True when the command line asks for the check mode (only the generator itself starts it).
bool IsCheckModeCommand(const std::vector<std::u16string>& arguments);

// The request read back in the child.
CheckArguments ReadCheckArguments(const std::vector<std::u16string>& arguments);

// The XML document in the file at `path`; false when it is none.
bool ReadDocument(const std::wstring& path, cXml& document);

// What the pending manifest declares, as the check looks it up.
struct Declared {
  struct Class {
    std::u16string clsid;
    std::u16string threadingModel;
    std::vector<std::u16string> progIds;  // the attribute first, then the progid elements
  };
  struct Library {
    std::u16string id;
    std::u16string version;
    std::u16string file;        // the file element it stands in
    std::u16string resourceId;  // empty for the first TYPELIB resource
  };
  struct ProxyStub {
    std::u16string iid;
    std::u16string proxyStub;
    bool inFile = false;  // comInterfaceProxyStub: the proxy/stub is a class of the file
  };
  std::u16string assemblyName;
  std::vector<Class> classes;
  std::vector<Library> libraries;
  std::vector<ProxyStub> proxyStubs;
};

// Throws Failure(ManifestRejected) when the manifest cannot be read back.
Declared ReadDeclared(const std::wstring& manifest);

// How many items the check asks its watched threads for: every class, ProgID, type library and
// proxy/stub, and the class through the client manifest.
std::size_t WatchedCalls(const Declared& declared, bool client);

}  // namespace kestrelwing::regsvr42
