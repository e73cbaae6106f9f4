#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "WideText.h"

#ifdef _WIN32
#include "Files.h"
#include "SystemInfo.h"
#endif

namespace kestrelwing {
namespace {

TEST(NumberText, DecimalAndHexadecimalAsWindowsShowsThem) {
  EXPECT_EQ(Decimal(0), u"0");
  EXPECT_EQ(Decimal(1223), u"1223");
  EXPECT_EQ(Decimal(UINT64_MAX), u"18446744073709551615");
  EXPECT_EQ(HexCode(0), u"0x00000000");
  EXPECT_EQ(HexCode(0x800401F3u), u"0x800401F3");
  EXPECT_EQ(HexCode(0xC0000005u), u"0xC0000005");
}

TEST(WideText, RoundTripsUtf16UnitsIncludingSurrogates) {
  const std::u16string text = u"Rejilla \u00f1 \u65e5\U0001F600";
  EXPECT_EQ(FromWide(ToWide(text)), text);
}

#ifdef _WIN32
TEST(SystemInfo, ErrorsAreOneLineWithTheirNumber) {
  const std::u16string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.find_first_of(u"\r\n"), std::u16string::npos);
  EXPECT_NE(text.back(), u'.');
  EXPECT_EQ(DescribeError(ERROR_FILE_NOT_FOUND), u"error 2: " + text);
  // A code the system has no text for keeps its number.
  EXPECT_EQ(DescribeError(0x2BADF00D), u"error 732819469");
}

TEST(SystemInfo, ProgramPathNamesThisExecutable) {
  const std::wstring path = ProgramPath();
  ASSERT_GT(path.size(), 4u);
  EXPECT_EQ(path.substr(path.size() - 4), L".exe");
  EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(FullPath(path), path);
}

TEST(Files, IsFileTellsAFileFromAFolderAndFromNothing) {
  const std::wstring program = ProgramPath();
  EXPECT_TRUE(IsFile(program));
  EXPECT_FALSE(IsFile(program.substr(0, program.find_last_of(L'\\'))));
  EXPECT_FALSE(IsFile(program + L".missing"));
}
#endif

}  // namespace
}  // namespace kestrelwing
