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
  for (NodeRef& child : parent.Nodes()) {
    if (IsAssemblyElement(scope, *child, local)) found.push_back(std::move(child));
  }
  return found;
}

bool IsWhiteSpaceText(const cXmlNode& node) {
  return node.Kind() == KindText &&
         node.Value().find_first_not_of(u" \t\r\n") == std::u16string_view::npos;
}

// The 1-based position of child among the children of parent (text and comments included), or 0.
std::int32_t PositionOf(const cXmlNode& parent, const NodeRef& child) {
  for (std::int32_t i = 1; i <= parent.NodeCount(); ++i) {
    if (parent.Node(i) == child) return i;
  }
  return 0;
}

// In a manifest read as XML 1.0 the white space between elements is text of the tree, written as
// it stands. An element added to it gets the line break and indentation of its siblings, and its
// own children one step more; a tree without such text is laid out when it is written.
class Layout {
 public:
  explicit Layout(const cXmlNode& parent) {
    NodeRef before;  // the white space before the last child element
    for (std::int32_t i = 1; i <= parent.NodeCount(); ++i) {
      const NodeRef child = parent.Node(i);
      if (child->Kind() == KindElement) {
        if (before) indent_ = before->Value();
        before.reset();
      } else if (IsWhiteSpaceText(*child)) {
        before = child;
        closing_ = child->Value();
      }
    }
    if (indent_.size() > closing_.size() && indent_.starts_with(closing_)) {
      step_ = indent_.substr(closing_.size());
    }
  }
  bool Active() const { return !indent_.empty(); }

  // Inserts element before the child at position (0: at the end, before the white space that
  // ends the parent) with the indentation of its siblings; lays out its subtree.
  void Insert(cXmlNode& parent, NodeRef element, std::int32_t position) const {
    if (!Active()) {
      parent.Add(std::move(element), position);
      return;
    }
    if (position == 0) {
      position = parent.NodeCount();
      if (position == 0 || !IsWhiteSpaceText(*parent.Node(position))) position = 0;
    }
    Indent(*element, indent_);
    parent.Add(Text(indent_), position);
    parent.Add(std::move(element), position == 0 ? 0 : position + 1);
  }

  // Removes child and the white space before it.
  static void Remove(cXmlNode& parent, const NodeRef& child) {
    const std::int32_t position = PositionOf(parent, child);
    if (position == 0) return;
    parent.Remove(position);
    if (position > 1 && IsWhiteSpaceText(*parent.Node(position - 1))) parent.Remove(position - 1);
  }

 private:
  static NodeRef Text(const std::u16string& value) {
    NodeRef text = MakeNode(KindText);
    text->SetValue(value);
    return text;
  }
  // Gives the children of element, which stands at indent, the next indentation.
  void Indent(cXmlNode& element, const std::u16string& indent) const {
    const std::int32_t count = element.NodeCount();
    if (count == 0) return;
    const std::u16string inner = indent + step_;
    for (std::int32_t i = count; i >= 1; --i) {
      Indent(*element.Node(i), inner);
      element.Add(Text(inner), i);
    }
    element.Add(Text(indent));
  }

  std::u16string indent_;   // before each child element, e.g. "\n    "
  std::u16string closing_;  // before the parent's end tag, e.g. "\n"
  std::u16string step_;     // one level more
};

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
  NodeRef identityBefore;  // the element the identity goes before; none: at the end
  std::vector<NodeRef> earlier;
  const std::vector<NodeRef> children = assembly->Nodes();
  for (std::size_t i = 0; i < children.size(); ++i) {
    const NodeRef& child = children[i];
    if (i == 0) identityBefore = child;
    if (IsAssemblyElement(scope, *child, u"noInheritable") && i == 0) {
      identityBefore = i + 1 < children.size() ? children[i + 1] : nullptr;
    }
    if (IsAssemblyElement(scope, *child, u"assemblyIdentity")) hasIdentity = true;
    // An earlier dependency on an assembly of this name is replaced rather than doubled.
    if (IsAssemblyElement(scope, *child, u"dependency") &&
        DependsOn(scope.Within(*child), *child, dependency.name)) {
      earlier.push_back(child);
    }
  }
  const Layout layout(*assembly);
  if (!hasIdentity) {
    NodeRef identity = NewElement(qualified(u"assemblyIdentity"));
    SetIdentity(*identity, client);
    const std::int32_t before = identityBefore ? PositionOf(*assembly, identityBefore) : 0;
    // Before the white space that leads to the element it precedes.
    const bool spaced = before > 1 && IsWhiteSpaceText(*assembly->Node(before - 1));
    layout.Insert(*assembly, std::move(identity), layout.Active() && spaced ? before - 1 : before);
  }
  for (const NodeRef& existing : earlier)
    Layout::Remove(*assembly, existing);
  NodeRef added = NewElement(qualified(u"dependency"));
  NodeRef dependent = AddElement(*added, qualified(u"dependentAssembly"));
  SetIdentity(*AddElement(*dependent, qualified(u"assemblyIdentity")), dependency);
  layout.Insert(*assembly, std::move(added), 0);
  return std::nullopt;
}

}  // namespace kestrelwing::regsvr42
