#include <gtest/gtest.h>

#include "Paths.h"

namespace kestrelwing::regsvr42 {
namespace {

TEST(Paths, TakeWindowsPathsApart) {
  EXPECT_EQ(FolderOf(L"C:\\Components\\grid.ocx"), L"C:\\Components");
  EXPECT_EQ(FolderOf(L"Z:/tmp/grid.ocx"), L"Z:/tmp");
  EXPECT_EQ(FolderOf(L"grid.ocx"), L".");
  EXPECT_EQ(FileNameOf(L"C:\\Components\\grid.ocx"), L"grid.ocx");
  EXPECT_EQ(FileNameOf(L"grid.ocx"), L"grid.ocx");
}

TEST(Paths, BaseNameDropsOnlyTheLastExtension) {
  EXPECT_EQ(BaseNameOf(L"C:\\Components\\grid.ocx"), L"grid");
  EXPECT_EQ(BaseNameOf(L"C:\\a.b\\archive.tar.gz"), L"archive.tar");
  EXPECT_EQ(BaseNameOf(L"C:\\a.b\\noextension"), L"noextension");
  EXPECT_EQ(BaseNameOf(L"C:\\a\\.hidden"), L".hidden");
}

TEST(Paths, UnquotedRemovesOnePairOfQuotes) {
  EXPECT_EQ(Unquoted(L"\"C:\\a b\\c.dll\""), L"C:\\a b\\c.dll");
  EXPECT_EQ(Unquoted(L"C:\\c.dll"), L"C:\\c.dll");
  EXPECT_EQ(Unquoted(L"\""), L"\"");
  EXPECT_EQ(Unquoted(L"\"half"), L"\"half");
}

}  // namespace
}  // namespace kestrelwing::regsvr42
