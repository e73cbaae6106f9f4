#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "ManifestBuilder.h"
#include "ManifestRules.h"

namespace kestrelwing::regsvr42 {
namespace {

ComponentManifest GridControl() {
  ComponentManifest component;
  component.identity = {u"grid.sxs", u"1.0.0.0", Architecture::X86};
  component.fileName = u"grid.ocx";
  ComClass grid;
  grid.clsid = u"{11111111-2222-3333-4444-555555555555}";
  grid.description = u"Grid & co";
  grid.threadingModel = u"Apartment";
  grid.progId = u"Grid.Control.1";
  grid.otherProgIds = {u"Grid.Control"};
  grid.typeLibraryId = u"{AAAAAAAA-2222-3333-4444-555555555555}";
  grid.miscStatus[static_cast<std::size_t>(Aspect::All)] = 0;
  grid.miscStatus[static_cast<std::size_t>(Aspect::Content)] = 131473;
  grid.miscStatus[static_cast<std::size_t>(Aspect::Docprint)] = 0x400;
  ComClass bare;
  bare.clsid = u"{22222222-2222-3333-4444-555555555555}";
  component.classes = {grid, bare};
  component.typeLibraries = {{u"{AAAAAAAA-2222-3333-4444-555555555555}", 1, 10, u"",
                              kLibFlagControl | kLibFlagHasDiskImage, 1},
                             {u"{BBBBBBBB-2222-3333-4444-555555555555}", 2, 0, u"help", 0, 3}};
  component.interfaces = {{u"{CCCCCCCC-2222-3333-4444-555555555555}", u"IGrid",
                           u"{AAAAAAAA-2222-3333-4444-555555555555}", 12,
                           u"{00020400-0000-0000-C000-000000000046}", u""}};
  return component;
}

TEST(ManifestBuilder, DescribesTheComponentInTheAssemblyNamespace) {
  cXml document;
  BuildComponentManifest(GridControl(), document);
  ASSERT_TRUE(document.XMLNode());
  EXPECT_EQ(document.XMLNode()->PropertyValue(u"version"), u"1.0");
  EXPECT_EQ(document.XMLNode()->PropertyValue(u"encoding"), u"UTF-8");
  EXPECT_EQ(document.RootName(), u"assembly");
  EXPECT_EQ(document.PropertyValue(u"xmlns"), u"urn:schemas-microsoft-com:asm.v1");
  EXPECT_EQ(document.PropertyValue(u"manifestVersion"), u"1.0");

  const NodeRef identity = document.NodeByName(u"assemblyIdentity");
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->PropertyValue(u"type"), u"win32");
  EXPECT_EQ(identity->PropertyValue(u"name"), u"grid.sxs");
  EXPECT_EQ(identity->PropertyValue(u"version"), u"1.0.0.0");
  EXPECT_EQ(identity->PropertyValue(u"processorArchitecture"), u"x86");

  const NodeRef file = document.NodeByName(u"file");
  ASSERT_TRUE(file);
  EXPECT_EQ(file->PropertyValue(u"name"), u"grid.ocx");
  EXPECT_EQ(file->PropertyCount(), 1);  // no hash or size unless asked
  EXPECT_EQ(file->Nodes(u"comClass").size(), 2u);
  EXPECT_EQ(file->Nodes(u"typelib").size(), 2u);
  EXPECT_EQ(document.Nodes(u"comInterfaceExternalProxyStub").size(), 1u);
}

TEST(ManifestBuilder, ComClassCarriesEveryRegisteredFact) {
  cXml document;
  BuildComponentManifest(GridControl(), document);
  const std::vector<NodeRef> classes = document.NodeByName(u"file")->Nodes(u"comClass");
  ASSERT_EQ(classes.size(), 2u);
  const cXmlNode& grid = *classes[0];
  EXPECT_EQ(grid.PropertyValue(u"clsid"), u"{11111111-2222-3333-4444-555555555555}");
  EXPECT_EQ(grid.PropertyValue(u"threadingModel"), u"Apartment");
  EXPECT_EQ(grid.PropertyValue(u"progid"), u"Grid.Control.1");
  EXPECT_EQ(grid.PropertyValue(u"tlbid"), u"{AAAAAAAA-2222-3333-4444-555555555555}");
  EXPECT_EQ(grid.PropertyValue(u"description"), u"Grid & co");
  EXPECT_EQ(grid.PropertyValue(u"miscStatusContent"),
            u"recomposeonresize,cantlinkinside,insideout,activatewhenvisible,setclientsitefirst");
  EXPECT_EQ(grid.PropertyValue(u"miscStatusDocprint"), u"invisibleatruntime");
  // A zero status names nothing, so it is left out rather than written empty.
  EXPECT_EQ(grid.PropertyValue(u"miscStatus", u"absent"), u"absent");
  ASSERT_EQ(grid.NodeCount(), 1);
  EXPECT_EQ(grid.Node(1)->Name(), u"progid");
  EXPECT_EQ(grid.Node(1)->Value(), u"Grid.Control");

  // A class that registered only its server gets only its CLSID.
  EXPECT_EQ(classes[1]->PropertyCount(), 1);
  EXPECT_EQ(classes[1]->NodeCount(), 0);
}

TEST(ManifestBuilder, TypeLibrariesAndProxyStubs) {
  cXml document;
  BuildComponentManifest(GridControl(), document);
  const std::vector<NodeRef> libraries = document.NodeByName(u"file")->Nodes(u"typelib");
  ASSERT_EQ(libraries.size(), 2u);
  EXPECT_EQ(libraries[0]->PropertyValue(u"version"), u"1.10");
  EXPECT_EQ(libraries[0]->PropertyValue(u"helpdir", u"absent"), u"");
  EXPECT_EQ(libraries[0]->PropertyValue(u"flags"), u"CONTROL,HASDISKIMAGE");
  EXPECT_EQ(libraries[0]->PropertyValue(u"resourceid", u"absent"), u"absent");
  EXPECT_EQ(libraries[1]->PropertyValue(u"helpdir"), u"help");
  EXPECT_EQ(libraries[1]->PropertyValue(u"flags", u"absent"), u"absent");
  EXPECT_EQ(libraries[1]->PropertyValue(u"resourceid"), u"3");

  const NodeRef proxyStub = document.NodeByName(u"comInterfaceExternalProxyStub");
  EXPECT_EQ(proxyStub->PropertyValue(u"iid"), u"{CCCCCCCC-2222-3333-4444-555555555555}");
  EXPECT_EQ(proxyStub->PropertyValue(u"name"), u"IGrid");
  EXPECT_EQ(proxyStub->PropertyValue(u"tlbid"), u"{AAAAAAAA-2222-3333-4444-555555555555}");
  EXPECT_EQ(proxyStub->PropertyValue(u"numMethods"), u"12");
  EXPECT_EQ(proxyStub->PropertyValue(u"baseInterface"), u"{00020400-0000-0000-C000-000000000046}");
  EXPECT_EQ(proxyStub->PropertyValue(u"proxyStubClsid32"), kOleAutomationProxyStub);

  // Interfaces registered with a proxy/stub of their own: inside the file when it serves that
  // class, with the registered class otherwise; no numMethods where it is unknown.
  ComponentManifest component = GridControl();
  component.ownProxyStubs = {{u"{DDDDDDDD-2222-3333-4444-555555555555}", u"ICallback", u"", 0, u"",
                              u"{22222222-2222-3333-4444-555555555555}"}};
  component.interfaces[0].proxyStubClsid = u"{00020420-0000-0000-C000-000000000046}";
  cXml withProxies;
  BuildComponentManifest(component, withProxies);
  const NodeRef own = withProxies.NodeByName(u"file")->NodeByName(u"comInterfaceProxyStub");
  ASSERT_TRUE(own);
  EXPECT_EQ(own->PropertyValue(u"iid"), u"{DDDDDDDD-2222-3333-4444-555555555555}");
  EXPECT_EQ(own->PropertyValue(u"proxyStubClsid32"), u"{22222222-2222-3333-4444-555555555555}");
  EXPECT_EQ(own->PropertyValue(u"numMethods", u"absent"), u"absent");
  EXPECT_EQ(
      withProxies.NodeByName(u"comInterfaceExternalProxyStub")->PropertyValue(u"proxyStubClsid32"),
      u"{00020420-0000-0000-C000-000000000046}");

  EXPECT_EQ(TypeLibraryFlags(kLibFlagRestricted | kLibFlagControl | kLibFlagHidden |
                             kLibFlagHasDiskImage),
            u"RESTRICTED,CONTROL,HIDDEN,HASDISKIMAGE");
  EXPECT_EQ(TypeLibraryFlags(0), u"");
}

TEST(ManifestBuilder, ATypeLibraryFileBesideTheComponentIsAFileOfTheAssembly) {
  ComponentManifest component = GridControl();
  component.typeLibraryFiles = {
      {u"grid.tlb", {u"{EEEEEEEE-2222-3333-4444-555555555555}", 3, 1, u"", 0, 1}}};
  cXml document;
  BuildComponentManifest(component, document);
  const std::vector<NodeRef> files = document.Root()->Nodes(u"file");
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0]->Nodes(u"typelib").size(), 2u);
  EXPECT_EQ(files[1]->PropertyValue(u"name"), u"grid.tlb");
  ASSERT_EQ(files[1]->NodeCount(), 1);
  const NodeRef library = files[1]->Node(1);
  EXPECT_EQ(library->Name(), u"typelib");
  EXPECT_EQ(library->PropertyValue(u"tlbid"), u"{EEEEEEEE-2222-3333-4444-555555555555}");
  EXPECT_EQ(library->PropertyValue(u"version"), u"3.1");
}

TEST(ManifestBuilder, FileHashAndSizeWhenAsked) {
  ComponentManifest component = GridControl();
  component.identity.architecture = Architecture::Amd64;
  component.hash = FileHash{u"SHA256", u"00ff"};
  component.size = 4294967296ull;
  cXml document;
  BuildComponentManifest(component, document);
  const NodeRef file = document.NodeByName(u"file");
  EXPECT_EQ(file->PropertyValue(u"hashalg"), u"SHA256");
  EXPECT_EQ(file->PropertyValue(u"hash"), u"00ff");
  EXPECT_EQ(file->PropertyValue(u"size"), u"4294967296");
  EXPECT_EQ(document.NodeByName(u"assemblyIdentity")->PropertyValue(u"processorArchitecture"),
            u"amd64");
}

TEST(ManifestBuilder, ClientDependencyIsCreatedOrReplacedKeepingTheRest) {
  const AssemblyIdentity client{u"app", u"1.0.0.0", Architecture::X86};
  AssemblyIdentity grid{u"grid.sxs", u"1.0.0.0", Architecture::X86};

  cXml document;  // no manifest yet: a document without a root
  document.SetRoot(nullptr);
  EXPECT_FALSE(AddClientDependency(document, client, grid));
  ASSERT_TRUE(document.XMLNode());
  EXPECT_EQ(document.RootName(), u"assembly");
  EXPECT_EQ(document.NodeByName(u"assemblyIdentity")->PropertyValue(u"name"), u"app");
  ASSERT_EQ(document.Nodes(u"dependency").size(), 1u);

  // Another component, then the first again at a new version: two dependencies, the newer kept.
  AddClientDependency(document, client, {u"chart.sxs", u"1.0.0.0", Architecture::X86});
  grid.version = u"2.0.0.0";
  AddClientDependency(document, client, grid);
  const std::vector<NodeRef> dependencies = document.Nodes(u"dependency");
  ASSERT_EQ(dependencies.size(), 2u);
  const NodeRef last = dependencies[1]->NodeByName(u"dependentAssembly/assemblyIdentity");
  ASSERT_TRUE(last);
  EXPECT_EQ(last->PropertyValue(u"name"), u"grid.sxs");
  EXPECT_EQ(last->PropertyValue(u"version"), u"2.0.0.0");
  EXPECT_EQ(
      dependencies[0]->NodeByName(u"dependentAssembly/assemblyIdentity")->PropertyValue(u"name"),
      u"chart.sxs");
  EXPECT_EQ(document.Nodes(u"assemblyIdentity").size(), 1u);
}

TEST(ManifestBuilder, ClientDependencyKeepsAnExistingManifestsOwnContent) {
  cXml document;
  ASSERT_TRUE(document.Parse(std::u16string_view(
      u"<?xml version=\"1.0\"?><assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" "
      u"manifestVersion=\"1.0\"><assemblyIdentity type=\"win32\" name=\"Mine\" "
      u"version=\"3.0.0.0\"/>"
      u"<trustInfo/></assembly>")));
  AddClientDependency(document, {u"app", u"1.0.0.0", Architecture::X86},
                      {u"grid.sxs", u"1.0.0.0", Architecture::X86});
  EXPECT_EQ(document.NodeByName(u"assemblyIdentity")->PropertyValue(u"name"), u"Mine");
  EXPECT_TRUE(document.NodeByName(u"trustInfo"));
  EXPECT_EQ(document.Nodes(u"dependency").size(), 1u);
}

TEST(ManifestBuilder, DependencyNamesAreReadWhateverThePrefix) {
  struct Row {
    std::u16string_view manifest;
    std::vector<std::u16string> names;
  };
  const Row rows[] = {
      {u"<asmv1:assembly xmlns:asmv1=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"
       u"<asmv1:dependency><asmv1:dependentAssembly><asmv1:assemblyIdentity name=\"One\"/>"
       u"</asmv1:dependentAssembly></asmv1:dependency>"
       u"<dependency xmlns=\"urn:schemas-microsoft-com:asm.v1\"><dependentAssembly>"
       u"<assemblyIdentity name=\"Two\"/></dependentAssembly></dependency></asmv1:assembly>",
       {u"One", u"Two"}},
      // An element of another namespace is no dependency, nor a root of another namespace.
      {u"<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" xmlns:x=\"urn:other\">"
       u"<x:dependency><x:dependentAssembly><x:assemblyIdentity name=\"Other\"/>"
       u"</x:dependentAssembly></x:dependency></assembly>",
       {}},
      {u"<assembly><dependency><dependentAssembly><assemblyIdentity name=\"Plain\"/>"
       u"</dependentAssembly></dependency></assembly>",
       {}},
  };
  for (const Row& row : rows) {
    cXml document;
    ASSERT_TRUE(document.Parse(row.manifest));
    EXPECT_EQ(DependencyNames(document), row.names) << ToUtf8(row.manifest);
  }
}

}  // namespace
}  // namespace kestrelwing::regsvr42

namespace kestrelwing::regsvr42 {
namespace {

// Client manifests as tool chains write them, read as XML 1.0, take the dependency and are
// written back with everything else as it was: comments, layout, what references meant.
TEST(ManifestBuilder, ClientManifestsFromOutsideChangeOnlyByTheDependency) {
  struct Row {
    std::string_view name;
    std::string_view manifest;
    std::string_view written;
  };
  const Row rows[] = {
      {"Visual C++'s linker default (single quotes, no identity)",
       "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\r\n"
       "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'>\r\n"
       "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\r\n"
       "    <security><requestedPrivileges>\r\n"
       "        <requestedExecutionLevel level='asInvoker' uiAccess='false' />\r\n"
       "    </requestedPrivileges></security>\r\n"
       "  </trustInfo>\r\n"
       "</assembly>\r\n",
       "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
       "<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">\n"
       "  <assemblyIdentity type=\"win32\" name=\"app\" version=\"1.0.0.0\" "
       "processorArchitecture=\"x86\"/>\n"
       "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
       "    <security><requestedPrivileges>\n"
       "        <requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>\n"
       "    </requestedPrivileges></security>\n"
       "  </trustInfo>\n"
       "  <dependency>\n"
       "    <dependentAssembly>\n"
       "      <assemblyIdentity type=\"win32\" name=\"grid.sxs\" version=\"1.0.0.0\" "
       "processorArchitecture=\"x86\"/>\n"
       "    </dependentAssembly>\n"
       "  </dependency>\n"
       "</assembly>"},
      {"an IDE template: comments kept, references meaning what they meant",
       "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
       "<!-- Application manifest -->\n"
       "<assembly manifestVersion=\"1.0\" xmlns=\"urn:schemas-microsoft-com:asm.v1\">\n"
       "  <assemblyIdentity version=\"1.0.0.0\" name=\"Contoso&#x2E;Ledger.app\"/>\n"
       "  <!-- <requestedExecutionLevel level=\"requireAdministrator\" /> -->\n"
       "  <description>&#169; Contoso &amp; Fabrikam</description>\n"
       "</assembly>\n",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- Application manifest -->"
       "<assembly manifestVersion=\"1.0\" xmlns=\"urn:schemas-microsoft-com:asm.v1\">\n"
       "  <assemblyIdentity version=\"1.0.0.0\" name=\"Contoso.Ledger.app\"/>\n"
       "  <!-- <requestedExecutionLevel level=\"requireAdministrator\" /> -->\n"
       "  <description>\xC2\xA9 Contoso &amp; Fabrikam</description>\n"
       "  <dependency>\n"
       "    <dependentAssembly>\n"
       "      <assemblyIdentity type=\"win32\" name=\"grid.sxs\" version=\"1.0.0.0\" "
       "processorArchitecture=\"x86\"/>\n"
       "    </dependentAssembly>\n"
       "  </dependency>\n"
       "</assembly>"},
  };
  for (const Row& row : rows) {
    cXml document;
    document.SetSyntax(XmlSyntax::Xml10);
    ASSERT_TRUE(document.Parse(
        std::span(reinterpret_cast<const std::uint8_t*>(row.manifest.data()), row.manifest.size())))
        << row.name << ": " << ToUtf8(document.Result());
    EXPECT_FALSE(AddClientDependency(document, {u"app", u"1.0.0.0", Architecture::X86},
                                     {u"grid.sxs", u"1.0.0.0", Architecture::X86}));
    EXPECT_EQ(ManifestBytes(document), row.written) << row.name;
    EXPECT_FALSE(CheckClientManifest(document, {u"grid.sxs", u"1.0.0.0", Architecture::X86}))
        << row.name;
  }
}

}  // namespace
}  // namespace kestrelwing::regsvr42
