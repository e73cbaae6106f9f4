#include <gtest/gtest.h>

#include <kestrelwing/cXmlNode.h>

#include "ManifestAction.h"
#include "PathParts.h"

namespace kestrelwing {
namespace {

struct PathCase {
  std::u16string path;
  std::u16string folder;  // what comes before the file name, trailing separator included
  std::u16string baseName;
};

TEST(PathParts, FolderAndBaseNameSplitTypicalPaths) {
  const PathCase cases[] = {
      {u"C:\\Components\\grid.ocx", u"C:\\Components\\", u"grid"},
      {u"C:\\Components\\grid", u"C:\\Components\\", u"grid"},
      {u"C:\\Components\\grid.core.ocx", u"C:\\Components\\", u"grid.core"},
      {u"C:\\my.folder\\grid", u"C:\\my.folder\\", u"grid"},
      {u"C:\\Components\\", u"C:\\Components\\", u""},
      {u"grid.ocx", u"", u"grid"},
      {u"grid", u"", u"grid"},
      {u".ocx", u"", u""},
      {u"", u"", u""},
      // Windows takes a slash for a backslash.
      {u"C:/Components/grid.ocx", u"C:/Components/", u"grid"},
      {u"C:\\my.folder/grid", u"C:\\my.folder/", u"grid"},
      {u"/home/dev/grid.core.ocx", u"/home/dev/", u"grid.core"},
      {u"\\\\server\\share\\Controles \u00f1\\rejilla.ocx",
       u"\\\\server\\share\\Controles \u00f1\\", u"rejilla"},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(ToUtf8(c.path));
    EXPECT_EQ(c.path.substr(0, FileNameStart(c.path)), c.folder);
    EXPECT_EQ(GetBaseName(c.path), c.baseName);
  }
}

// The system's own separators: a backslash is part of a POSIX file name.
TEST(PathParts, FileNameStartsAfterTheSeparatorsAsked) {
  const struct {
    std::u16string_view path;
    std::size_t windows;
    std::size_t posix;
  } cases[] = {
      {u"C:\\dir\\a.xml", 7, 0}, {u"/home/a\\b.xml", 8, 6}, {u"a.xml", 0, 0}, {u"dir/", 4, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(ToUtf8(c.path));
    EXPECT_EQ(FileNameStart(c.path), c.windows);
    EXPECT_EQ(FileNameStart(c.path, u"/"), c.posix);
    EXPECT_EQ(FileNameStart(c.path, kSystemSeparators),
              kSystemSeparators.size() == 2 ? c.windows : c.posix);
  }
}

TEST(PathParts, ManifestLiesBesideTheComponentNamedAfterIt) {
  EXPECT_EQ(ManifestPathFor(u"C:\\Components\\grid.ocx"), u"C:\\Components\\grid.sxs.manifest");
  EXPECT_EQ(ManifestPathFor(u"C:\\Components\\grid.core.dll"),
            u"C:\\Components\\grid.core.sxs.manifest");
  EXPECT_EQ(ManifestPathFor(u"C:\\my.folder\\grid"), u"C:\\my.folder\\grid.sxs.manifest");
  EXPECT_EQ(ManifestPathFor(u"D:/Controles/rejilla.ocx"), u"D:/Controles/rejilla.sxs.manifest");
  // A bare file name names a file in the current folder, and so does its manifest.
  EXPECT_EQ(ManifestPathFor(u"grid.ocx"), u"grid.sxs.manifest");
  EXPECT_EQ(ManifestPathFor(u"grid"), u"grid.sxs.manifest");
}

TEST(PathParts, ToolLiesInTheToolsFolderBelowTheProgram) {
  EXPECT_EQ(ManifestToolPath(u"C:\\Program Files\\Kestrelwing"),
            u"C:\\Program Files\\Kestrelwing\\tools\\regsvr42.exe");
}

}  // namespace
}  // namespace kestrelwing
