#include "ManifestBuilder.h"

#include <array>
#include <memory>

#include "AsciiCase.h"
#include "OleMisc.h"
#include "WideText.h"
#include "XmlNames.h"

namespace kestrelwing::regsvr42 {
namespace {

// miscStatus attribute of each Aspect, in Aspect order.
constexpr std::array<std::u16string_view, kAspectCount> kMiscStatusAttributes = {
    u"miscStatus", u"miscStatusContent", u"miscStatusThumbnail", u"miscStatusIcon",
    u"miscStatusDocPrint"};

NodeRef NewElement(std::u16string_view name) {
  NodeRef node = MakeNode();
  node->SetName(std::u16string(name));
  return node;
}

NodeRef AddElement(cXmlNode& parent, std::u16string_view name) {
  NodeRef node = NewElement(name);
  parent.Add(node);
  return node;
}

void SetIfPresent(cXmlNode& node, std::u16string_view name, const std::u16string& value) {
  if (!value.empty()) node.SetPropertyValue(name, value);
}

NodeRef NewDeclaration() {
  NodeRef declaration = NewElement(u"xml");
  declaration->SetPropertyValue(u"version", u"1.0");
  declaration->SetPropertyValue(u"encoding", u"UTF-8");
  declaration->SetPropertyValue(u"standalone", u"yes");
  return declaration;
}

bool IsAssemblyElement(const NamespaceScope& outer, const cXmlNode& element,
                       std::u16string_view local) {
  return outer.Within(element).Names(element, kAssemblyNamespace, local);
}

// The children of `parent` that are the assembly namespace's `local` elements.
std::vector<NodeRef> AssemblyChildren(const NamespaceScope& scope, const cXmlNode& parent,
                                      std::u16string_view local) {
  std::vector<NodeRef> found;
  for (std::int32_t i = 1; i <= parent.NodeCount(); ++i) {
    NodeRef child = parent.Node(i);
    if (IsAssemblyElement(scope, *child, local)) found.push_back(std::move(child));
  }
  return found;
}

// The names of the assemblies a dependency element (scope: its own) names.
std::vector<std::u16string> NamedAssemblies(const NamespaceScope& scope,
                                            const cXmlNode& dependency) {
  std::vector<std::u16string> names;
  for (const NodeRef& dependent : AssemblyChildren(scope, dependency, u"dependentAssembly")) {
    const NamespaceScope dependentScope = scope.Within(*dependent);
    for (const NodeRef& identity :
         AssemblyChildren(dependentScope, *dependent, u"assemblyIdentity"))
      names.push_back(identity->PropertyValue(u"name"));
  }
  return names;
}

// True when the dependency element (scope: its own) names the assembly `name`, in any letter case:
// Windows compares assembly names without it.
bool DependsOn(const NamespaceScope& scope, const cXmlNode& dependency, std::u16string_view name) {
  for (const std::u16string& named : NamedAssemblies(scope, dependency)) {
    if (SameIgnoringCase(named, name)) return true;
  }
  return false;
}

NodeRef NewAssemblyRoot() {
  NodeRef root = NewElement(u"assembly");
  root->SetPropertyValue(u"xmlns", kAssemblyNamespace);
  root->SetPropertyValue(u"manifestVersion", u"1.0");
  return root;
}

void SetIdentity(cXmlNode& identityElement, const AssemblyIdentity& identity) {
  identityElement.SetPropertyValue(u"type", u"win32");
  identityElement.SetPropertyValue(u"name", identity.name);
  identityElement.SetPropertyValue(u"version", identity.version);
  identityElement.SetPropertyValue(u"processorArchitecture",
                                   ArchitectureName(identity.architecture));
}

void AddComClass(cXmlNode& file, const ComClass& comClass) {
  NodeRef element = AddElement(file, u"comClass");
  element->SetPropertyValue(u"clsid", comClass.clsid);
  SetIfPresent(*element, u"threadingModel", comClass.threadingModel);
  SetIfPresent(*element, u"progid", comClass.progId);
  SetIfPresent(*element, u"tlbid", comClass.typeLibraryId);
  SetIfPresent(*element, u"description", comClass.description);
  for (std::size_t aspect = 0; aspect < kAspectCount; ++aspect) {
    if (!comClass.miscStatus[aspect]) continue;
    SetIfPresent(*element, kMiscStatusAttributes[aspect],
                 NameOleMisc(*comClass.miscStatus[aspect]).names);
  }
  for (const std::u16string& progId : comClass.otherProgIds) {
    AddElement(*element, u"progid")->SetValue(progId);
  }
}

void AddTypeLibrary(cXmlNode& file, const TypeLibrary& library) {
  NodeRef element = AddElement(file, u"typelib");
  element->SetPropertyValue(u"tlbid", library.id);
  element->SetPropertyValue(u"version", TypeLibraryVersion(library));
  element->SetPropertyValue(u"helpdir", library.helpDirectory);
  SetIfPresent(*element, u"flags", TypeLibraryFlags(library.flags));
  if (library.resourceId != 1) {
    element->SetPropertyValue(u"resourceid",
                              Decimal(static_cast<std::uint64_t>(library.resourceId)));
  }
}

// comInterfaceExternalProxyStub below the assembly, or comInterfaceProxyStub below the file whose
// class is the proxy/stub.
void AddProxyStub(cXmlNode& parent, std::u16string_view elementName,
                  const ProxyStubInterface& proxyStub) {
  NodeRef element = AddElement(parent, elementName);
  element->SetPropertyValue(u"iid", proxyStub.iid);
  element->SetPropertyValue(u"name", proxyStub.name);
  SetIfPresent(*element, u"tlbid", proxyStub.typeLibraryId);
  if (proxyStub.numMethods > 0) {
    element->SetPropertyValue(u"numMethods",
                              Decimal(static_cast<std::uint64_t>(proxyStub.numMethods)));
  }
  SetIfPresent(*element, u"baseInterface", proxyStub.baseInterface);
  element->SetPropertyValue(u"proxyStubClsid32", proxyStub.proxyStubClsid.empty()
                                                     ? std::u16string(kOleAutomationProxyStub)
                                                     : proxyStub.proxyStubClsid);
}

}  // namespace

std::u16string ArchitectureName(Architecture architecture) {
  return architecture == Architecture::Amd64 ? u"amd64" : u"x86";
}

std::u16string TypeLibraryVersion(const TypeLibrary& library) {
  return Decimal(library.majorVersion) + u'.' + Decimal(library.minorVersion);
}

std::u16string TypeLibraryFlags(std::uint16_t flags) {
  constexpr std::array<std::pair<std::uint16_t, std::u16string_view>, 4> kNames = {{
      {kLibFlagRestricted, u"RESTRICTED"},
      {kLibFlagControl, u"CONTROL"},
      {kLibFlagHidden, u"HIDDEN"},
      {kLibFlagHasDiskImage, u"HASDISKIMAGE"},
  }};
  std::u16string text;
  for (const auto& [bit, name] : kNames) {
    if ((flags & bit) == 0) continue;
    if (!text.empty()) text += u',';
    text += name;
  }
  return text;
}

void BuildComponentManifest(const ComponentManifest& component, cXml& document) {
  document.SetXMLNode(NewDeclaration());
  NodeRef assembly = NewAssemblyRoot();
  document.SetRoot(assembly);

  SetIdentity(*AddElement(*assembly, u"assemblyIdentity"), component.identity);

  NodeRef file = AddElement(*assembly, u"file");
  file->SetPropertyValue(u"name", component.fileName);
  if (component.hash) {
    file->SetPropertyValue(u"hashalg", component.hash->algorithm);
    file->SetPropertyValue(u"hash", component.hash->hex);
  }
  if (component.size) file->SetPropertyValue(u"size", Decimal(*component.size));
  for (const ComClass& comClass : component.classes)
    AddComClass(*file, comClass);
  for (const TypeLibrary& library : component.typeLibraries)
    AddTypeLibrary(*file, library);
  for (const ProxyStubInterface& proxyStub : component.ownProxyStubs)
    AddProxyStub(*file, u"comInterfaceProxyStub", proxyStub);

  for (const TypeLibraryFile& libraryFile : component.typeLibraryFiles) {
    NodeRef separate = AddElement(*assembly, u"file");
    separate->SetPropertyValue(u"name", libraryFile.fileName);
    AddTypeLibrary(*separate, libraryFile.library);
  }

  for (const ProxyStubInterface& proxyStub : component.interfaces)
    AddProxyStub(*assembly, u"comInterfaceExternalProxyStub", proxyStub);
}

std::vector<std::u16string> DependencyNames(const cXml& document) {
  std::vector<std::u16string> names;
  const NodeRef assembly = document.Root();
  if (!assembly) return names;
  const NamespaceScope scope = NamespaceScope().Within(*assembly);
  if (!scope.Names(*assembly, kAssemblyNamespace, u"assembly")) return names;
  for (const NodeRef& dependency : AssemblyChildren(scope, *assembly, u"dependency")) {
    for (std::u16string& name : NamedAssemblies(scope.Within(*dependency), *dependency))
      names.push_back(std::move(name));
  }
  return names;
}

std::optional<std::u16string> AddClientDependency(cXml& document, const AssemblyIdentity& client,
                                                  const AssemblyIdentity& dependency) {
  NodeRef assembly = document.Root();
  if (!assembly) {
    assembly = NewAssemblyRoot();
    document.SetRoot(assembly);
  }
  // The root may carry any prefix bound to the assembly namespace (<asmv1:assembly
  // xmlns:asmv1="...">); the elements added below take the same prefix, so that they are in
  // that namespace too. Any other root is not a manifest of this client to change.
  const NamespaceScope scope = NamespaceScope().Within(*assembly);
  if (!scope.Names(*assembly, kAssemblyNamespace, u"assembly")) {
    return u"the root is not <assembly> in the namespace " + std::u16string(kAssemblyNamespace);
  }
  const std::u16string manifestVersion = assembly->PropertyValue(u"manifestVersion", u"-");
  if (manifestVersion == u"-") {
    assembly->SetPropertyValue(u"manifestVersion", u"1.0");
  } else if (manifestVersion != u"1.0") {
    return u"<assembly> manifestVersion is not \"1.0\"";
  }
  const std::u16string prefix(PrefixOf(assembly->Name()));
  const auto qualified = [&](std::u16string_view local) {
    return prefix.empty() ? std::u16string(local) : prefix + u':' + std::u16string(local);
  };
  // The file is written in UTF-8, whatever the declaration said before.
  if (!document.XMLNode()) document.SetXMLNode(NewDeclaration());
  if (document.XMLNode()->PropertyValue(u"encoding", u"-") != u"-") {
    document.XMLNode()->SetPropertyValue(u"encoding", u"UTF-8");
  }

  bool hasIdentity = false;
  std::int32_t identityPlace = 1;
  std::vector<NodeRef> earlier;
  for (std::int32_t i = 1; i <= assembly->NodeCount(); ++i) {
    const NodeRef child = assembly->Node(i);
    if (IsAssemblyElement(scope, *child, u"noInheritable") && i == 1) identityPlace = 2;
    if (IsAssemblyElement(scope, *child, u"assemblyIdentity")) hasIdentity = true;
    // An earlier dependency on an assembly of this name is replaced rather than doubled.
    if (IsAssemblyElement(scope, *child, u"dependency") &&
        DependsOn(scope.Within(*child), *child, dependency.name)) {
      earlier.push_back(child);
    }
  }
  if (!hasIdentity) {
    NodeRef identity = NewElement(qualified(u"assemblyIdentity"));
    assembly->Add(identity, identityPlace);
    SetIdentity(*identity, client);
  }
  for (const NodeRef& existing : earlier)
    assembly->Remove(existing);
  NodeRef dependent =
      AddElement(*AddElement(*assembly, qualified(u"dependency")), qualified(u"dependentAssembly"));
  SetIdentity(*AddElement(*dependent, qualified(u"assemblyIdentity")), dependency);
  return std::nullopt;
}

}  // namespace kestrelwing::regsvr42
