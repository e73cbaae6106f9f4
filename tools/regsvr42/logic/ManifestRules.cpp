#include "ManifestRules.h"

#include <array>
#include <set>

#include "AsciiCase.h"
#include "Options.h"
#include "XmlNames.h"

namespace kestrelwing::regsvr42 {
namespace {

using Problem = std::optional<std::u16string>;

std::u16string Quoted(std::u16string_view text) {
  return u"\"" + std::u16string(text) + u"\"";
}

// The elements of an assembly manifest, where each may stand, and their attributes (names
// separated by spaces): the tables of "Assembly Manifests" and "Application Manifests" in
// Microsoft's side-by-side documentation. "Names of elements and attributes are case-sensitive"
// (same pages). Windows refuses an attribute or an element that is not in its schema: Wine's
// conformance tests (kernel32 actctx) see CreateActCtx fail with ERROR_SXS_CANT_GEN_ACTCTX on
// Windows for an unknown attribute of <assembly> and for an unknown child element. The loader
// knows a few elements more (clrClass, windowClass in other places, trustInfo in an application
// manifest); what the generator never writes is left out, so this check is stricter, never
// more lenient, than the loader.
struct ElementRule {
  std::u16string_view parent;  // local name of the parent; empty for the root
  std::u16string_view name;
  std::u16string_view allowed;
  std::u16string_view required;
};

constexpr std::u16string_view kIdentityAttributes =
    u"type name language processorArchitecture version publicKeyToken";

constexpr std::array<ElementRule, 13> kSchema = {{
    {u"", u"assembly", u"manifestVersion", u"manifestVersion"},
    {u"assembly", u"noInheritable", u"", u""},
    {u"assembly", u"assemblyIdentity", kIdentityAttributes, u"type name version"},
    {u"assembly", u"dependency", u"optional", u""},
    {u"dependency", u"dependentAssembly", u"dependencyType allowDelayedBinding", u""},
    {u"dependentAssembly", u"assemblyIdentity", kIdentityAttributes, u"type name version"},
    // "size" is not in the documented table; the generator writes it on request (-size).
    {u"assembly", u"file", u"name hashalg hash size", u"name"},
    {u"file", u"comClass",
     u"description clsid threadingModel tlbid progid miscStatus miscStatusIcon miscStatusContent "
     u"miscStatusDocPrint miscStatusThumbnail",
     u"clsid"},
    {u"comClass", u"progid", u"", u""},
    {u"file", u"typelib", u"tlbid version helpdir resourceid flags", u"tlbid version helpdir"},
    {u"file", u"comInterfaceProxyStub",
     u"iid name tlbid baseInterface numMethods proxyStubClsid32 threadingModel", u"iid name"},
    {u"file", u"windowClass", u"versioned", u""},
    {u"assembly", u"comInterfaceExternalProxyStub",
     u"iid baseInterface numMethods name tlbid proxyStubClsid32", u"iid"},
}};

const ElementRule* FindRule(std::u16string_view parent, std::u16string_view name) {
  for (const ElementRule& rule : kSchema) {
    if (rule.parent == parent && rule.name == name) return &rule;
  }
  return nullptr;
}

bool InList(std::u16string_view list, std::u16string_view word) {
  while (!list.empty()) {
    const std::size_t space = list.find(u' ');
    if (list.substr(0, space) == word) return true;
    if (space == std::u16string_view::npos) break;
    list.remove_prefix(space + 1);
  }
  return false;
}

bool IsHex(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool IsDecimal(std::u16string_view text) {
  if (text.empty() || text.size() > 20) return false;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

// {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}: the registry form the loader parses (Wine's
// conformance manifests and every GUID in Microsoft's manifest examples are written so).
bool IsBracedGuid(std::u16string_view text) {
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != u'-' : !IsHex(text[i])) return false;
  }
  return true;
}

// "major.minor" of a type library, each part a 16-bit decimal.
bool IsTypeLibraryVersion(std::u16string_view text) {
  const std::size_t dot = text.find(u'.');
  if (dot == std::u16string_view::npos) return false;
  return IsAssemblyVersion(std::u16string(text) + u".0.0");
}

// A file element names a file of the assembly's own folder: "The name of the file ... without a
// path" (Assembly Manifests, file element); the loader resolves it in the assembly directory.
Problem FileNameProblem(std::u16string_view name) {
  if (name.empty()) return u"a file element has an empty name";
  if (name.find_first_of(u"\\/:") != std::u16string_view::npos || name == u"." || name == u"..") {
    return u"file name " + Quoted(name) + u" is not a plain file name (no folder, no \"..\")";
  }
  return std::nullopt;
}

// Facts gathered over the whole manifest, for the rules that span elements.
struct Declared {
  std::set<std::u16string> files, clsids, progIds, interfaces;
  int identities = 0;
};

// Each of file, CLSID, ProgID and interface is declared once: an activation context keeps one
// entry per key in each of its sections (file names, CLSIDs, ProgIDs, interfaces; "Assembly
// Manifests" describes each element as defining that key). Whether Windows refuses a second
// declaration or keeps one of the two, only Windows shows; either way the manifest would not say
// what it means, so a second one is refused here.
Problem DeclareOnce(std::set<std::u16string>& seen, std::u16string_view what,
                    std::u16string_view value) {
  if (!seen.insert(AsciiUpper(value)).second) {
    return std::u16string(what) + u" " + Quoted(value) + u" is declared twice";
  }
  return std::nullopt;
}

// The identity of the component's own assembly, or of a dependency: "type" is "win32" in lower
// case ("values ... are case-insensitive, except for the value of the type attribute",
// Application Manifests); "version" has four parts of 0 to 65535 ("Assembly Versions");
// processorArchitecture is x86 or amd64 for the loader to bind a 32- or 64-bit process.
Problem IdentityProblem(const cXmlNode& element, const AssemblyIdentity& expected,
                        std::u16string_view whose) {
  const std::u16string type = element.PropertyValue(u"type");
  if (type != u"win32")
    return std::u16string(whose) + u" type " + Quoted(type) + u" is not \"win32\"";
  const std::u16string name = element.PropertyValue(u"name");
  if (const Problem problem = AssemblyNameProblem(name))
    return std::u16string(whose) + u" " + *problem;
  const std::u16string version = element.PropertyValue(u"version");
  if (!IsAssemblyVersion(version)) {
    return std::u16string(whose) + u" version " + Quoted(version) +
           u" is not four parts of 0 to 65535";
  }
  const std::u16string architecture = element.PropertyValue(u"processorArchitecture");
  if (architecture != u"x86" && architecture != u"amd64") {
    return std::u16string(whose) + u" processorArchitecture " + Quoted(architecture) +
           u" is neither \"x86\" nor \"amd64\"";
  }
  // The loader binds a dependency only to the identity it names exactly (Wine's conformance
  // tests: a dependency on 6.5.4.3 fails on Windows when the assembly beside it is 6.5.4.4).
  if (name != expected.name || version != expected.version ||
      architecture != ArchitectureName(expected.architecture)) {
    return std::u16string(whose) + u" is " + name + u" " + version + u" " + architecture +
           u", not the component's " + expected.name + u" " + expected.version + u" " +
           ArchitectureName(expected.architecture);
  }
  return std::nullopt;
}

Problem AttributeValueProblem(std::u16string_view element, std::u16string_view attribute,
                              std::u16string_view value) {
  const auto bad = [&](std::u16string_view what) -> Problem {
    return u"<" + std::u16string(element) + u"> " + std::u16string(attribute) + u" " +
           Quoted(value) + u" " + std::u16string(what);
  };
  if (attribute == u"clsid" || attribute == u"tlbid" || attribute == u"iid" ||
      attribute == u"baseInterface" || attribute == u"proxyStubClsid32") {
    if (!IsBracedGuid(value)) return bad(u"is not a GUID in braces");
  } else if (attribute == u"threadingModel") {
    // The threading models of "Assembly Manifests", spelt as documented: Wine reads them in this
    // letter case only.
    if (value != u"Apartment" && value != u"Both" && value != u"Free" && value != u"Neutral") {
      return bad(u"is not Apartment, Both, Free or Neutral");
    }
  } else if (attribute == u"numMethods" || attribute == u"resourceid" || attribute == u"size") {
    if (!IsDecimal(value)) return bad(u"is not a decimal number");
  } else if (element == u"typelib" && attribute == u"version") {
    if (!IsTypeLibraryVersion(value)) return bad(u"is not major.minor");
  } else if (attribute == u"progid" && value.empty()) {
    return bad(u"is empty");
  }
  return std::nullopt;
}

// A file's hash: "hashalg ... This value should be SHA1" (Assembly Manifests, the only value
// documented), and Windows refuses a SHA1 hash that is not 40 hexadecimal digits (Wine's
// conformance tests: one digit short fails with ERROR_SXS_CANT_GEN_ACTCTX).
Problem HashProblem(const cXmlNode& file) {
  const std::u16string algorithm = file.PropertyValue(u"hashalg", u"SHA1");
  if (!SameIgnoringCase(algorithm, u"SHA1")) {
    return u"hashalg " + Quoted(algorithm) + u" is not SHA1, the only algorithm Windows documents";
  }
  for (const PropertyPair& property : file.Properties()) {
    if (property[0] != u"hash") continue;
    bool hex = property[1].size() == 40;
    for (char16_t c : property[1])
      hex = hex && IsHex(c);
    if (!hex) return u"SHA1 hash " + Quoted(property[1]) + u" is not 40 hexadecimal digits";
  }
  return std::nullopt;
}

class ComponentChecker {
 public:
  explicit ComponentChecker(const AssemblyIdentity& identity) : identity_(identity) {}

  // Checks `element` (read in `scope`) and what lies below it; the schema bounds the depth.
  Problem Check(const cXmlNode& element, const NamespaceScope& outer, std::u16string_view parent) {
    const NamespaceScope scope = outer.Within(element);
    const std::u16string_view name = LocalNameOf(element.Name());
    // "Child elements of the assembly must also be in this namespace, by inheritance or by
    // tagging" (Application Manifests); a root in another namespace fails on Windows (Wine's
    // conformance tests: no xmlns, or asm.v5).
    const ElementRule* rule = FindRule(parent, name);
    if (rule == nullptr || !scope.Names(element, kAssemblyNamespace, name)) {
      if (parent.empty()) {
        return u"the root is not <assembly> in the namespace " + std::u16string(kAssemblyNamespace);
      }
      return u"element <" + element.Name() + u"> is not allowed in <" + std::u16string(parent) +
             u">";
    }
    if (Problem problem = CheckAttributes(element, *rule)) return problem;
    if (Problem problem = CheckElement(element, name, parent)) return problem;
    for (const NodeRef& child : element.Nodes()) {
      if (Problem problem = Check(*child, scope, name)) return problem;
    }
    return std::nullopt;
  }

 private:
  Problem CheckAttributes(const cXmlNode& element, const ElementRule& rule) {
    const std::u16string tag = u"<" + std::u16string(rule.name) + u">";
    for (const PropertyPair& property : element.Properties()) {
      if (IsNamespaceDeclaration(property[0])) continue;
      if (!InList(rule.allowed, property[0])) {
        return u"attribute " + property[0] + u" is not allowed on " + tag;
      }
      if (Problem problem = AttributeValueProblem(rule.name, property[0], property[1])) {
        return problem;
      }
    }
    std::u16string_view required = rule.required;
    while (!required.empty()) {
      const std::size_t space = required.find(u' ');
      const std::u16string_view attribute = required.substr(0, space);
      bool present = false;
      for (const PropertyPair& property : element.Properties())
        present = present || property[0] == attribute;
      if (!present) return tag + u" lacks its required attribute " + std::u16string(attribute);
      required = space == std::u16string_view::npos ? u"" : required.substr(space + 1);
    }
    return std::nullopt;
  }

  Problem CheckElement(const cXmlNode& element, std::u16string_view name,
                       std::u16string_view parent) {
    if (name == u"assembly") {
      // "The manifestVersion attribute must be set to 1.0" (Application Manifests); Windows
      // refuses a root without it (Wine's conformance tests).
      if (element.PropertyValue(u"manifestVersion") != u"1.0") {
        return u"<assembly> manifestVersion is not \"1.0\"";
      }
      // "Its first subelement must be a noInherit or assemblyIdentity element".
      const std::vector<NodeRef> children = element.Nodes();
      std::size_t first = 0;
      if (!children.empty() && LocalNameOf(children[0]->Name()) == u"noInheritable") first = 1;
      if (children.size() <= first || LocalNameOf(children[first]->Name()) != u"assemblyIdentity") {
        return u"<assemblyIdentity> is not the first element of <assembly>";
      }
    } else if (name == u"assemblyIdentity" && parent == u"assembly") {
      if (++declared_.identities > 1) return u"<assembly> has more than one <assemblyIdentity>";
      return IdentityProblem(element, identity_, u"the assembly's identity");
    } else if (name == u"file") {
      if (Problem problem = FileNameProblem(element.PropertyValue(u"name"))) return problem;
      if (Problem problem = DeclareOnce(declared_.files, u"file", element.PropertyValue(u"name"))) {
        return problem;
      }
      return HashProblem(element);
    } else if (name == u"comClass") {
      if (Problem problem =
              DeclareOnce(declared_.clsids, u"comClass clsid", element.PropertyValue(u"clsid"))) {
        return problem;
      }
      const std::u16string progId = element.PropertyValue(u"progid", u"");
      if (!progId.empty()) return DeclareOnce(declared_.progIds, u"ProgID", progId);
    } else if (name == u"progid") {
      if (element.Value().empty() || !element.Nodes().empty()) return u"a <progid> names no ProgID";
      return DeclareOnce(declared_.progIds, u"ProgID", element.Value());
    } else if (name == u"comInterfaceProxyStub" || name == u"comInterfaceExternalProxyStub") {
      return DeclareOnce(declared_.interfaces, u"interface", element.PropertyValue(u"iid"));
    }
    return std::nullopt;
  }

  const AssemblyIdentity& identity_;
  Declared declared_;
};

// The XML declaration, when there is one, names the encoding the bytes have: UTF-8.
Problem DeclarationProblem(const cXml& document) {
  const NodeRef declaration = document.XMLNode();
  if (!declaration) return std::nullopt;
  const std::u16string encoding = declaration->PropertyValue(u"encoding", u"UTF-8");
  if (!SameIgnoringCase(encoding, u"UTF-8")) {
    return u"the declaration names the encoding " + Quoted(encoding) + u", not UTF-8";
  }
  return std::nullopt;
}
}  // namespace

std::optional<std::u16string> AssemblyNameProblem(std::u16string_view name) {
  // The name is the file name the loader probes for (<name>.dll, <name>.manifest and the folder
  // <name>, "Assembly Searching Sequence"), so it holds no path separator; and the identity's
  // text form, which side-by-side tools and sxstrace show, separates attributes by commas and
  // encloses values in quotes, so it holds neither.
  if (name.empty()) return u"name is empty";
  for (const char16_t c : name) {
    if (c == u',' || c == u'"' || c == u'\'' || c == u'\\' || c == u'/' || c == u':' || c < 0x20) {
      return u"name " + Quoted(name) + u" holds a comma, a quote or a path separator";
    }
  }
  return std::nullopt;
}

std::optional<std::u16string> CheckComponentManifest(const cXml& document,
                                                     const AssemblyIdentity& identity,
                                                     const ComponentPlacement& placement) {
  if (Problem problem = DeclarationProblem(document)) return problem;
  const NodeRef root = document.Root();
  if (!root) return u"there is no root element";
  ComponentChecker checker(identity);
  if (Problem problem = checker.Check(*root, NamespaceScope(), u"")) return problem;
  // The loader looks for a private assembly as <name>.manifest in the application's folder,
  // after <name>.dll there ("Assembly Searching Sequence"): the manifest must carry the name,
  // and a DLL of that name would be taken first.
  if (!SameIgnoringCase(placement.manifestFileName, identity.name + u".manifest")) {
    return u"the file " + placement.manifestFileName + u" is not named " + identity.name +
           u".manifest, where the loader looks for it";
  }
  if (placement.assemblyNamedDllBeside) {
    return identity.name + u".dll stands beside " + placement.manifestFileName +
           u"; the loader would take that DLL instead of the manifest";
  }
  return std::nullopt;
}

std::optional<std::u16string> CheckClientManifest(const cXml& document,
                                                  const AssemblyIdentity& dependency) {
  if (Problem problem = DeclarationProblem(document)) return problem;
  const NodeRef root = document.Root();
  if (!root) return u"there is no root element";
  const NamespaceScope scope = NamespaceScope().Within(*root);
  if (!scope.Names(*root, kAssemblyNamespace, u"assembly")) {
    return u"the root is not <assembly> in the namespace " + std::u16string(kAssemblyNamespace);
  }
  if (root->PropertyValue(u"manifestVersion") != u"1.0") {
    return u"<assembly> manifestVersion is not \"1.0\"";
  }
  int found = 0;
  for (const NodeRef& childRef : root->Nodes()) {
    const cXmlNode& child = *childRef;
    const NamespaceScope childScope = scope.Within(child);
    if (!childScope.Names(child, kAssemblyNamespace, u"dependency")) continue;
    // The dependency the generator wrote: dependency/dependentAssembly/assemblyIdentity, the
    // elements and attributes of the schema and nothing else (white space and comments beside
    // them are no elements).
    const std::vector<NodeRef> dependents = child.Nodes();
    if (dependents.size() != 1) continue;
    const cXmlNode& dependent = *dependents[0];
    const NamespaceScope dependentScope = childScope.Within(dependent);
    const std::vector<NodeRef> identities = dependent.Nodes();
    if (!dependentScope.Names(dependent, kAssemblyNamespace, u"dependentAssembly") ||
        identities.size() != 1) {
      continue;
    }
    const cXmlNode& identity = *identities[0];
    if (!dependentScope.Within(identity).Names(identity, kAssemblyNamespace, u"assemblyIdentity") ||
        !SameIgnoringCase(identity.PropertyValue(u"name"), dependency.name)) {
      continue;
    }
    // Windows compares assembly names without letter case: two dependencies on one name are one
    // assembly asked for twice.
    if (++found > 1) return u"the client depends on " + dependency.name + u" twice";
    const ElementRule* rule = FindRule(u"dependentAssembly", u"assemblyIdentity");
    for (const PropertyPair& property : identity.Properties()) {
      if (!IsNamespaceDeclaration(property[0]) && !InList(rule->allowed, property[0])) {
        return u"attribute " + property[0] + u" is not allowed on <assemblyIdentity>";
      }
    }
    if (Problem problem = IdentityProblem(identity, dependency, u"the client's dependency")) {
      return problem;
    }
  }
  if (found == 0) return u"the client manifest has no dependency on " + dependency.name;
  return std::nullopt;
}

std::optional<std::u16string> CheckManifestBytes(std::span<const std::uint8_t> bytes) {
  // Windows reads a UTF-8 manifest without a byte-order mark (every manifest of Wine's
  // conformance tests is written so) and refuses UTF-16 without its mark (same tests); the
  // generator writes the one form known to load, UTF-8 without a mark.
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return u"the file starts with a UTF-8 byte-order mark";
  }
  if (bytes.size() >= 2 &&
      ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
    return u"the file is UTF-16, not UTF-8";
  }
  // Well-formed UTF-8: no stray continuation byte, no overlong form, no surrogate, nothing past
  // U+10FFFF.
  for (std::size_t i = 0; i < bytes.size();) {
    const std::uint8_t lead = bytes[i];
    std::size_t length = 1;
    std::uint32_t minimum = 0;
    std::uint32_t code = lead;
    if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, minimum = 0x10000, code = lead & 0x07u;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, minimum = 0x800, code = lead & 0x0Fu;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, minimum = 0x80, code = lead & 0x1Fu;
    } else if (lead >= 0x80) {
      return u"the file is not well-formed UTF-8 at byte " + FromUtf8(std::to_string(i));
    }
    if (i + length > bytes.size()) return u"the file ends inside a UTF-8 sequence";
    for (std::size_t k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0u) != 0x80u) {
        return u"the file is not well-formed UTF-8 at byte " + FromUtf8(std::to_string(i));
      }
      code = (code << 6) | (bytes[i + k] & 0x3Fu);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return u"the file is not well-formed UTF-8 at byte " + FromUtf8(std::to_string(i));
    }
    i += length;
  }
  return std::nullopt;
}

std::string ManifestBytes(cXml& document) {
  constexpr std::int32_t kFourSpaces = 0;
  constexpr std::int32_t kUtf8 = 1;
  // A manifest read from outside keeps its own layout: its white space is in the tree.
  const bool prettyPrint = document.Syntax() != XmlSyntax::Xml10;
  std::vector<std::uint8_t> bytes;
  document.SaveToBytes(bytes, prettyPrint, kFourSpaces, false, kUtf8);  // empty for a cyclic tree
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace kestrelwing::regsvr42
