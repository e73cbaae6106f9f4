// Turns the gathered facts into manifest documents (cXml trees), ready to be saved.
#pragma once

#include <kestrelwing/cXml.h>

#include <optional>
#include <string>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// The proxy/stub class of every dual or oleautomation interface: the type library marshaler.
inline constexpr char16_t kOleAutomationProxyStub[] = u"{00020424-0000-0000-C000-000000000046}";

// Fills `document` with the component's assembly manifest: declaration, assemblyIdentity, file
// (comClass, typelib) and comInterfaceExternalProxyStub elements.
void BuildComponentManifest(const ComponentManifest& component, cXml& document);

// The names of the assemblies an application manifest depends on, read by namespace and local
// name whatever their prefixes; none when its root is no assembly manifest.
std::vector<std::u16string> DependencyNames(const cXml& document);

// Makes `document` an application manifest of `client` that depends on `dependency`: a document
// without a root becomes a new one. An existing
// manifest keeps every element and attribute it had; a dependency on an assembly of the same name
// (letter case ignored) is replaced. Its root is matched by namespace and local name, whatever
// its prefix. Answers why a document that is no application manifest cannot take the dependency
// (left as it was), or none.
std::optional<std::u16string> AddClientDependency(cXml& document, const AssemblyIdentity& client,
                                                  const AssemblyIdentity& dependency);

// The text of a type library's version attribute, "major.minor".
std::u16string TypeLibraryVersion(const TypeLibrary& library);

// The text of a type library's flags attribute: the set LIBFLAGS by name, comma-separated.
std::u16string TypeLibraryFlags(std::uint16_t flags);

}  // namespace kestrelwing::regsvr42
