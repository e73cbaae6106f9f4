#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include <kestrelwing/cXmlNode.h>

#include "ManifestAction.h"
#include "PathParts.h"
#include "Paths.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

TEST(Paths, TakeWindowsPathsApart) {
  EXPECT_EQ(FolderOf(L"C:\\Components\\grid.ocx"), L"C:\\Components");
  EXPECT_EQ(FolderOf(L"Z:/tmp/grid.ocx"), L"Z:/tmp");
  EXPECT_EQ(FolderOf(L"grid.ocx"), L".");
  EXPECT_EQ(GetFileName(u"C:\\Components\\grid.ocx"), u"grid.ocx");
  EXPECT_EQ(GetFileName(u"Z:/tmp/grid.ocx"), u"grid.ocx");
  EXPECT_EQ(GetFileName(u"grid.ocx"), u"grid.ocx");
}

// The generator writes, with default options, <folder>\<assembly name>.manifest; the desktop
// program then looks for ManifestPathFor(component). Both must name one file for every name.
TEST(Paths, TheDefaultManifestIsTheFileTheProgramLooksFor) {
  const std::u16string components[] = {
      u"C:\\Componentes\\grid.ocx",
      u"C:\\Componentes\\noextension",
      u"C:\\a.b\\archive.tar.ocx",
      u"C:\\Componentes\\.hidden",
      u"C:\\Componentes\\.ocx",
      u"C:\\Mis Componentes\\Mi Rejilla.ocx",
      u"C:\\Componentes\\gr\u00e1fico \u65e5\u672c.dll",
      u"Z:/tmp/componentes/grid.ocx",
      u"C:\\Componentes\\grid.",
      u"C:\\Componentes\\grid..ocx",
  };
  for (const std::u16string& component : components) {
    SCOPED_TRACE(ToUtf8(component));
    std::u16string written = FromWide(FolderOf(ToWide(component))) + u"\\" +
                             DefaultAssemblyName(component) + u".manifest";
    std::u16string lookedFor = ManifestPathFor(component);
    std::replace(written.begin(), written.end(), u'/', u'\\');
    std::replace(lookedFor.begin(), lookedFor.end(), u'/', u'\\');
    EXPECT_EQ(written, lookedFor);
  }
}

TEST(Paths, UnquotedRemovesOnePairOfQuotes) {
  EXPECT_EQ(Unquoted(L"\"C:\\a b\\c.dll\""), L"C:\\a b\\c.dll");
  EXPECT_EQ(Unquoted(L"C:\\c.dll"), L"C:\\c.dll");
  EXPECT_EQ(Unquoted(L"\""), L"\"");
  EXPECT_EQ(Unquoted(L"\"half"), L"\"half");
}

}  // namespace
}  // namespace kestrelwing::regsvr42
