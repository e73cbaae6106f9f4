#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ManifestBuilder.h"
#include "ManifestRules.h"
#include "XmlNames.h"

namespace kestrelwing::regsvr42 {
namespace {

std::string Narrow(const std::optional<std::u16string>& text) {
  return text ? ToUtf8(*text) : std::string("(none)");
}

const AssemblyIdentity kGrid{u"grid.sxs", u"1.0.0.0", Architecture::X86};
const ComponentPlacement kBeside{u"grid.sxs.manifest", false};

// The start of a component manifest of grid.sxs, up to its identity.
constexpr char16_t kHead[] =
    u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    u"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
    u"<assemblyIdentity type=\"win32\" name=\"grid.sxs\" version=\"1.0.0.0\" "
    u"processorArchitecture=\"x86\"/>";

std::u16string Component(std::u16string_view body) {
  return kHead + std::u16string(body) + u"</assembly>";
}

std::u16string WithIdentity(
    std::u16string_view identityAttributes,
    std::u16string_view rootAttributes =
        u"xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"") {
  return u"<assembly " + std::u16string(rootAttributes) + u"><assemblyIdentity " +
         std::u16string(identityAttributes) + u"/><file name=\"grid.ocx\"/></assembly>";
}

constexpr char16_t kIdentity[] =
    u"type=\"win32\" name=\"grid.sxs\" version=\"1.0.0.0\" processorArchitecture=\"x86\"";

// Manifests Windows refuses (with the part of the rule the refusal names) and accepts, after the
// activation-context conformance tests run on Windows and Microsoft's manifest documentation.
TEST(ManifestRules, ComponentManifestsWindowsRefusesAndAccepts) {
  struct Row {
    std::u16string manifest;
    std::string refusal;  // empty: the manifest loads
  };
  const std::u16string file = u"<file name=\"grid.ocx\"/>";
  const std::u16string guid = u"{11111111-2222-3333-4444-555555555555}";
  const std::vector<Row> rows = {
      // The root: its namespace, its version, nothing else on it, nothing unknown below it.
      {WithIdentity(kIdentity, u"manifestVersion=\"1.0\""), "the root is not <assembly>"},
      {WithIdentity(kIdentity,
                    u"xmlns=\"urn:schemas-microsoft-com:asm.v5\" manifestVersion=\"1.0\""),
       "the root is not <assembly>"},
      {WithIdentity(kIdentity, u"xmlns=\"urn:schemas-microsoft-com:asm.v1\""),
       "lacks its required attribute manifestVersion"},
      {WithIdentity(kIdentity,
                    u"xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"2.0\""),
       "manifestVersion is not \"1.0\""},
      {WithIdentity(kIdentity,
                    u"xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\" "
                    u"extra=\"x\""),
       "attribute extra is not allowed on <assembly>"},
      {Component(file + u"<unknown/>"), "element <unknown> is not allowed in <assembly>"},
      {Component(u"<file name=\"grid.ocx\"><Comclass clsid=\"" + guid + u"\"/></file>"),
       "element <Comclass> is not allowed in <file>"},
      {u"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">" + file +
           u"<assemblyIdentity " + kIdentity + u"/></assembly>",
       "<assemblyIdentity> is not the first element"},
      {u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + WithIdentity(kIdentity),
       "names the encoding \"UTF-16\""},
      // The identity: lower-case type, four 16-bit parts, the component's own architecture and
      // name.
      {WithIdentity(
           u"type=\"Win32\" name=\"grid.sxs\" version=\"1.0.0.0\" processorArchitecture=\"x86\""),
       "type \"Win32\" is not \"win32\""},
      {WithIdentity(
           u"type=\"win32\" name=\"grid.sxs\" version=\"1.0.0\" processorArchitecture=\"x86\""),
       "version \"1.0.0\" is not four parts"},
      {WithIdentity(u"type=\"win32\" name=\"grid.sxs\" version=\"1.0.0.65536\" "
                    u"processorArchitecture=\"x86\""),
       "is not four parts of 0 to 65535"},
      {WithIdentity(
           u"type=\"win32\" name=\"grid.sxs\" version=\"1.0.0.0\" processorArchitecture=\"ia64\""),
       "neither \"x86\" nor \"amd64\""},
      {WithIdentity(
           u"type=\"win32\" name=\"grid.sxs\" version=\"1.0.0.0\" processorArchitecture=\"amd64\""),
       "not the component's grid.sxs 1.0.0.0 x86"},
      {WithIdentity(
           u"type=\"win32\" name=\"grid,sxs\" version=\"1.0.0.0\" processorArchitecture=\"x86\""),
       "holds a comma"},
      {WithIdentity(u"type=\"win32\" name=\"\" version=\"1.0.0.0\" processorArchitecture=\"x86\""),
       "name is empty"},
      {WithIdentity(u"type=\"win32\" version=\"1.0.0.0\" processorArchitecture=\"x86\""),
       "lacks its required attribute name"},
      // Files: a plain name, a SHA1 hash of 40 digits, nothing declared twice.
      {Component(u"<file/>"), "lacks its required attribute name"},
      {Component(u"<file name=\"bin\\grid.ocx\"/>"), "is not a plain file name"},
      {Component(u"<file name=\"..\"/>"), "is not a plain file name"},
      {Component(u"<file name=\"grid.ocx\" hashalg=\"SHA1\" "
                 u"hash=\"0123456789abcdef0123456789abcdef0123456\"/>"),
       "is not 40 hexadecimal digits"},
      {Component(u"<file name=\"grid.ocx\" hashalg=\"SHA256\" "
                 u"hash=\"0123456789abcdef0123456789abcdef01234567\"/>"),
       "is not SHA1"},
      {Component(file + u"<file name=\"GRID.OCX\"/>"), "file \"GRID.OCX\" is declared twice"},
      // Classes and interfaces: GUIDs in braces, documented threading models, unique keys.
      {Component(
           u"<file name=\"grid.ocx\"><comClass clsid=\"11111111-2222-3333-4444-555555555555\"/>"
           u"</file>"),
       "is not a GUID in braces"},
      {Component(u"<file name=\"grid.ocx\"><comClass clsid=\"" + guid +
                 u"\" threadingModel=\"apartment\"/></file>"),
       "is not Apartment, Both, Free or Neutral"},
      {Component(u"<file name=\"grid.ocx\"><comClass clsid=\"" + guid +
                 u"\" miscStatusDocprint=\"invisibleatruntime\"/></file>"),
       "attribute miscStatusDocprint is not allowed"},
      {Component(u"<file name=\"grid.ocx\"><comClass clsid=\"" + guid + u"\"/><comClass clsid=\"" +
                 u"{11111111-2222-3333-4444-555555555555}\"/></file>"),
       "is declared twice"},
      {Component(u"<file name=\"grid.ocx\"><comClass clsid=\"" + guid +
                 u"\" progid=\"Grid.1\"><progid>grid.1</progid></comClass></file>"),
       "ProgID \"grid.1\" is declared twice"},
      {Component(file + u"<comInterfaceExternalProxyStub iid=\"" + guid +
                 u"\"/><comInterfaceExternalProxyStub iid=\"" + guid + u"\"/>"),
       "interface \"" + ToUtf8(guid) + "\" is declared twice"},
      {Component(u"<file name=\"grid.ocx\"><typelib tlbid=\"" + guid +
                 u"\" version=\"1\" helpdir=\"\"/></file>"),
       "is not major.minor"},
      // Accepted: every element and attribute the generator writes, a prefixed root, the
      // identity's optional attributes.
      {Component(file), ""},
      {u"<a:assembly xmlns:a=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
       u"<a:assemblyIdentity " +
           std::u16string(kIdentity) + u"/><a:file name=\"grid.ocx\"/></a:assembly>",
       ""},
      {WithIdentity(std::u16string(kIdentity) +
                    u" publicKeyToken=\"6595b64144ccf1df\" language=\"*\""),
       ""},
      {Component(u"<file name=\"grid.ocx\" hashalg=\"SHA1\" size=\"1024\" "
                 u"hash=\"0123456789abcdef0123456789ABCDEF01234567\">"
                 u"<comClass clsid=\"" +
                 guid +
                 u"\" threadingModel=\"Neutral\" progid=\"Grid.1\" "
                 u"tlbid=\"" +
                 guid +
                 u"\" description=\"Grid\" miscStatus=\"\" "
                 u"miscStatusContent=\"insideout\" miscStatusDocPrint=\"simpleframe\">"
                 u"<progid>Grid</progid></comClass>"
                 u"<typelib tlbid=\"" +
                 guid +
                 u"\" version=\"1.10\" helpdir=\"\" flags=\"CONTROL\" "
                 u"resourceid=\"2\"/>"
                 u"<comInterfaceProxyStub iid=\"{21111111-2222-3333-4444-555555555555}\" "
                 u"name=\"ICallback\" proxyStubClsid32=\"" +
                 guid +
                 u"\" numMethods=\"4\"/>"
                 u"<windowClass versioned=\"no\">GridWindow</windowClass></file>"
                 u"<file name=\"grid.tlb\"/>"
                 u"<comInterfaceExternalProxyStub iid=\"{31111111-2222-3333-4444-555555555555}\" "
                 u"name=\"IGrid\" tlbid=\"" +
                 guid + u"\" baseInterface=\"" + guid +
                 u"\" "
                 u"proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\"/>"),
       ""},
  };
  for (const Row& row : rows) {
    cXml document;
    ASSERT_TRUE(document.Parse(row.manifest)) << ToUtf8(row.manifest);
    const auto broken = CheckComponentManifest(document, kGrid, kBeside);
    if (row.refusal.empty()) {
      EXPECT_FALSE(broken) << ToUtf8(row.manifest) << "\n  refused: " << Narrow(broken);
    } else {
      EXPECT_NE(Narrow(broken).find(row.refusal), std::string::npos)
          << ToUtf8(row.manifest) << "\n  expected: " << row.refusal
          << "\n  got: " << Narrow(broken);
    }
  }

  // Where the file goes: named after the assembly, with no DLL of that name beside it.
  cXml document;
  ASSERT_TRUE(document.Parse(Component(file)));
  EXPECT_NE(Narrow(CheckComponentManifest(document, kGrid, {u"grid.manifest", false}))
                .find("is not named grid.sxs.manifest"),
            std::string::npos);
  EXPECT_NE(Narrow(CheckComponentManifest(document, kGrid, {u"grid.sxs.manifest", true}))
                .find("grid.sxs.dll stands beside"),
            std::string::npos);
  EXPECT_FALSE(CheckComponentManifest(document, kGrid, {u"GRID.SXS.manifest", false}));
}

TEST(ManifestRules, BytesAreUtf8WithoutAMark) {
  struct Row {
    std::string bytes;
    std::string refusal;
  };
  const std::vector<Row> rows = {
      {"<a>caf\xC3\xA9 \xF0\x9F\x98\x80</a>", ""},
      {"\xEF\xBB\xBF<a/>", "byte-order mark"},
      {"\xFF\xFE<\0a\0/\0>\0", "UTF-16"},
      {"<a>\xC3</a>", "not well-formed UTF-8 at byte 3"},
      {"<a>\xC0\xAF</a>", "not well-formed"},          // overlong
      {"<a>\xED\xA0\x80</a>", "not well-formed"},      // a surrogate
      {"<a>\xF4\x90\x80\x80</a>", "not well-formed"},  // past U+10FFFF
      {"<a>\xE2\x82", "ends inside a UTF-8 sequence"},
  };
  for (const Row& row : rows) {
    const auto broken = CheckManifestBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(row.bytes.data()), row.bytes.size()));
    if (row.refusal.empty()) {
      EXPECT_FALSE(broken) << row.bytes << ": " << Narrow(broken);
    } else {
      EXPECT_NE(Narrow(broken).find(row.refusal), std::string::npos) << Narrow(broken);
    }
  }
  // What the generator writes passes, the text of a description in any script included.
  ComponentManifest component;
  component.identity = kGrid;
  component.fileName = u"grid.ocx";
  component.classes.push_back({});
  component.classes.back().clsid = u"{11111111-2222-3333-4444-555555555555}";
  component.classes.back().description = u"Rejilla \u00e9 \u65e5\u672c \U0001F600";
  cXml document;
  BuildComponentManifest(component, document);
  const std::string bytes = ManifestBytes(document);
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"", 0), 0u) << bytes;
  EXPECT_FALSE(CheckManifestBytes(
      std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
  EXPECT_FALSE(CheckComponentManifest(document, kGrid, kBeside));
}

// A manifest from a listing of tests/e2e/regsvr42/expected: one element a line, its path from
// the root, its attributes, its text.
cXml FromListing(const std::string& listing) {
  cXml document;
  std::vector<NodeRef> open;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t space = line.find(' ');
    const std::string path = line.substr(0, space);
    const std::size_t depth = static_cast<std::size_t>(std::count(path.begin(), path.end(), '/'));
    NodeRef node = MakeNode();
    node->SetName(FromUtf8(path.substr(path.rfind('/') + 1)));
    for (std::size_t at = space; at != std::string::npos && at < line.size();) {
      const std::size_t equals = line.find("=\"", at);
      const std::size_t close = line.find('"', equals + 2);
      const std::string name = line.substr(at + 1, equals - at - 1);
      const std::u16string value = FromUtf8(line.substr(equals + 2, close - equals - 2));
      if (name == "text") {
        node->SetValue(value);
      } else {
        node->SetPropertyValue(FromUtf8(name), value);
      }
      at = close + 1 < line.size() ? close + 1 : std::string::npos;
    }
    if (path.starts_with("?/")) {
      document.SetXMLNode(node);
      continue;
    }
    open.resize(depth);
    if (depth == 0) {
      document.SetRoot(node);
    } else {
      open.back()->Add(node);
    }
    open.push_back(node);
  }
  return document;
}

AssemblyIdentity IdentityOf(const NodeRef& element) {
  return {element->PropertyValue(u"name"), element->PropertyValue(u"version"),
          element->PropertyValue(u"processorArchitecture") == u"amd64" ? Architecture::Amd64
                                                                       : Architecture::X86};
}

TEST(ManifestRules, EveryExpectedManifestOfTheEndToEndTestsLoads) {
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(KESTRELWING_EXPECTED_MANIFESTS)) {
    std::ifstream stream(entry.path(), std::ios::binary);
    const std::string listing((std::istreambuf_iterator<char>(stream)),
                              std::istreambuf_iterator<char>());
    cXml document = FromListing(listing);
    ASSERT_TRUE(document.Root()) << entry.path();
    ++seen;
    // A client's listing ends with its dependency (prefixed or not); a component's has files.
    NodeRef identity = document.Root()->Node(1);
    NodeRef dependency;
    const NodeRef last = document.Root()->Node(document.Root()->NodeCount());
    if (LocalNameOf(last->Name()) == u"dependency") dependency = last->Node(1)->Node(1);
    std::optional<std::u16string> broken;
    if (dependency) {
      broken = CheckClientManifest(document, IdentityOf(dependency));
    } else {
      const AssemblyIdentity own = IdentityOf(identity);
      broken = CheckComponentManifest(document, own, {own.name + u".manifest", false});
    }
    EXPECT_FALSE(broken) << entry.path() << ": " << Narrow(broken);
    const std::string bytes = ManifestBytes(document);
    EXPECT_FALSE(CheckManifestBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())));
  }
  EXPECT_GE(seen, 7);
}

// Client manifests as projects write them, each merged with a dependency on grid.sxs 2.0.0.0:
// what the merge keeps, what it refuses, and that the result passes the client rules.
TEST(ManifestRules, ClientManifestsKeepTheirContentAndGainOneDependency) {
  struct Row {
    std::u16string manifest;           // empty: no manifest yet
    std::string refusal;               // empty: merged
    std::vector<std::u16string> kept;  // root children after the merge, by name
  };
  const std::u16string v1 = u"urn:schemas-microsoft-com:asm.v1";
  const std::u16string trust =
      u"<trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
      u"<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/></requestedPrivileges>"
      u"</security></trustInfo>";
  const std::u16string compatibility =
      u"<compatibility xmlns=\"urn:schemas-microsoft-com:compatibility.v1\"><application>"
      u"<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/></application></compatibility>";
  const std::vector<Row> rows = {
      {u"", "", {u"assemblyIdentity", u"dependency"}},
      // Older project templates: a prefixed root, trustInfo and compatibility.
      {u"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
       u"<asmv1:assembly xmlns:asmv1=\"" +
           v1 +
           u"\" manifestVersion=\"1.0\">"
           u"<asmv1:assemblyIdentity type=\"win32\" name=\"App\" version=\"1.0.0.0\"/>" +
           trust + compatibility + u"</asmv1:assembly>",
       "",
       {u"asmv1:assemblyIdentity", u"trustInfo", u"compatibility", u"asmv1:dependency"}},
      // An earlier dependency on the assembly in other letter case is replaced; others stay.
      {u"<assembly xmlns=\"" + v1 +
           u"\" manifestVersion=\"1.0\"><dependency><dependentAssembly>"
           u"<assemblyIdentity type=\"win32\" name=\"GRID.SXS\" version=\"1.0.0.0\" "
           u"processorArchitecture=\"x86\"/></dependentAssembly></dependency><dependency>"
           u"<dependentAssembly><assemblyIdentity type=\"win32\" "
           u"name=\"Microsoft.Windows.Common-Controls\" "
           u"version=\"6.0.0.0\" processorArchitecture=\"*\" publicKeyToken=\"6595b64144ccf1df\" "
           u"language=\"*\"/></dependentAssembly></dependency></assembly>",
       "",
       {u"assemblyIdentity", u"dependency", u"dependency"}},
      // No manifestVersion: it is added; noInheritable stays first.
      {u"<assembly xmlns=\"" + v1 + u"\"><noInheritable/></assembly>",
       "",
       {u"noInheritable", u"assemblyIdentity", u"dependency"}},
      // A UTF-16 declaration: the file is written in UTF-8 and says so.
      {u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><assembly xmlns=\"" + v1 +
           u"\" manifestVersion=\"1.0\"/>",
       "",
       {u"assemblyIdentity", u"dependency"}},
      // No application manifest: left as it was.
      {u"<configuration><startup/></configuration>", "the root is not <assembly>", {u"startup"}},
      {u"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v3\" manifestVersion=\"1.0\"/>",
       "the root is not <assembly>",
       {}},
      {u"<asmv1:assembly xmlns:asmv1=\"urn:other\" xmlns=\"" + v1 + u"\" manifestVersion=\"1.0\"/>",
       "the root is not <assembly>",
       {}},
      {u"<assembly xmlns=\"" + v1 + u"\" manifestVersion=\"2.0\"><file name=\"a.dll\"/></assembly>",
       "manifestVersion is not \"1.0\"",
       {u"file"}},
  };
  const AssemblyIdentity app{u"app", u"1.0.0.0", Architecture::X86};
  const AssemblyIdentity grid{u"grid.sxs", u"2.0.0.0", Architecture::X86};
  for (const Row& row : rows) {
    cXml document;
    if (row.manifest.empty()) {
      document.SetRoot(nullptr);
    } else {
      ASSERT_TRUE(document.Parse(row.manifest)) << ToUtf8(row.manifest);
    }
    const NodeRef root = document.Root();
    const std::string before = row.manifest.empty() ? "" : ManifestBytes(document);
    const auto refused = AddClientDependency(document, app, grid);
    std::vector<std::u16string> names;
    for (const NodeRef& child : document.Root()->Nodes())
      names.push_back(child->Name());
    EXPECT_EQ(names, row.kept) << ToUtf8(row.manifest);
    if (!row.refusal.empty()) {
      EXPECT_NE(Narrow(refused).find(row.refusal), std::string::npos) << Narrow(refused);
      EXPECT_EQ(ManifestBytes(document), before) << "a refused manifest was changed";
      continue;
    }
    ASSERT_FALSE(refused) << ToUtf8(row.manifest) << ": " << Narrow(refused);
    if (root) {
      EXPECT_EQ(document.Root(), root) << "the root was replaced";
    }
    EXPECT_FALSE(CheckClientManifest(document, grid))
        << ToUtf8(row.manifest) << ": " << Narrow(CheckClientManifest(document, grid));
    const std::string bytes = ManifestBytes(document);
    EXPECT_NE(bytes.find("encoding=\"UTF-8\""), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("name=\"grid.sxs\" version=\"2.0.0.0\""), std::string::npos) << bytes;
    EXPECT_EQ(bytes.find("GRID.SXS"), std::string::npos) << bytes;
    if (!row.manifest.empty()) {
      // Every attribute of the root and the first element of each kept child are still there.
      for (const PropertyPair& property : document.Root()->Properties())
        EXPECT_NE(bytes.find(ToUtf8(property[0])), std::string::npos);
      EXPECT_EQ(row.manifest.find(u"asInvoker") != std::u16string::npos,
                bytes.find("asInvoker") != std::string::npos);
      EXPECT_EQ(row.manifest.find(u"supportedOS") != std::u16string::npos,
                bytes.find("supportedOS") != std::string::npos);
    }
  }

  // What the client check refuses: the dependency missing, doubled, or naming another identity.
  const std::u16string dependencyOn =
      u"<dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"grid.sxs\" "
      u"version=\"2.0.0.0\" processorArchitecture=\"x86\"/></dependentAssembly></dependency>";
  struct Refusal {
    std::u16string body;
    std::string rule;
  };
  const std::vector<Refusal> refusals = {
      {u"", "has no dependency on grid.sxs"},
      {dependencyOn + dependencyOn, "depends on grid.sxs twice"},
      {u"<dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"grid.sxs\" "
       u"version=\"1.0.0.0\" processorArchitecture=\"x86\"/></dependentAssembly></dependency>",
       "not the component's grid.sxs 2.0.0.0 x86"},
      {u"<dependency><dependentAssembly><assemblyIdentity type=\"win32\" name=\"grid.sxs\" "
       u"version=\"2.0.0.0\" processorArchitecture=\"x86\" flavour=\"x\"/></dependentAssembly>"
       u"</dependency>",
       "attribute flavour is not allowed"},
  };
  for (const Refusal& refusal : refusals) {
    cXml document;
    ASSERT_TRUE(document.Parse(u"<assembly xmlns=\"" + v1 + u"\" manifestVersion=\"1.0\">" +
                               refusal.body + u"</assembly>"));
    EXPECT_NE(Narrow(CheckClientManifest(document, grid)).find(refusal.rule), std::string::npos)
        << Narrow(CheckClientManifest(document, grid));
  }
}

}  // namespace
}  // namespace kestrelwing::regsvr42
