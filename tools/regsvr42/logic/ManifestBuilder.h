// Turns the gathered facts into manifest documents (cXml trees), ready to be saved.
#pragma once

#include <kestrelwing/cXml.h>

#include <string>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// The proxy/stub class of every dual or oleautomation interface: the type library marshaler.
inline constexpr char16_t kOleAutomationProxyStub[] = u"{00020424-0000-0000-C000-000000000046}";

// Fills `document` with the component's assembly manifest: declaration, assemblyIdentity, file
// (comClass, typelib) and comInterfaceExternalProxyStub elements.
void BuildComponentManifest(const ComponentManifest& component, cXml& document);

// Makes `document` an application manifest of `client` that depends on `dependency`. An existing
// manifest keeps everything else; a dependency on an assembly of the same name is replaced.
void AddClientDependency(cXml& document, const AssemblyIdentity& client,
                         const AssemblyIdentity& dependency);

// The text of a type library's version attribute, "major.minor".
std::u16string TypeLibraryVersion(const TypeLibrary& library);

// The text of a type library's flags attribute: the set LIBFLAGS by name, comma-separated.
std::u16string TypeLibraryFlags(std::uint16_t flags);

}  // namespace kestrelwing::regsvr42
