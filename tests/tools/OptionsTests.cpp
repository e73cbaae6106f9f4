#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Options.h"

namespace kestrelwing::regsvr42 {
namespace {

ParsedOptions Parse(std::vector<std::u16string> arguments) {
  return ParseOptions(arguments);
}

TEST(Options, ReadsEveryOptionIgnoringCaseAndPrefix) {
  const ParsedOptions parsed =
      Parse({u"-NAME:My.Assembly", u"/version:1.2.3.4", u"-Hash", u"-sha256", u"/SIZE",
             u"-dir:C:\\out", u"-client:C:\\app\\app.exe", u"-NoVerify", u"C:\\c\\grid.ocx"});
  ASSERT_TRUE(parsed.options) << std::string(parsed.error.begin(), parsed.error.end());
  const Options& options = *parsed.options;
  EXPECT_EQ(options.name, u"My.Assembly");
  EXPECT_EQ(options.versionSource, VersionSource::Explicit);
  EXPECT_EQ(options.version, u"1.2.3.4");
  EXPECT_TRUE(options.sha1);
  EXPECT_TRUE(options.sha256);
  EXPECT_TRUE(options.size);
  EXPECT_EQ(options.directory, u"C:\\out");
  EXPECT_EQ(options.client, u"C:\\app\\app.exe");
  EXPECT_TRUE(options.noVerify);
  EXPECT_EQ(options.components, std::vector<std::u16string>{u"C:\\c\\grid.ocx"});
  // Everything but the component is passed on to a sibling generator as given.
  EXPECT_EQ(options.settings.size(), 8u);
  EXPECT_EQ(options.settings.front(), u"-NAME:My.Assembly");
}

TEST(Options, VersionComesFromTheResourceWhenAsked) {
  EXPECT_EQ(Parse({u"-version:FileVersion", u"a.dll"}).options->versionSource,
            VersionSource::FileVersion);
  EXPECT_EQ(Parse({u"-version:productversion", u"a.dll"}).options->versionSource,
            VersionSource::ProductVersion);
  EXPECT_EQ(Parse({u"a.dll"}).options->versionSource, VersionSource::Default);
}

TEST(Options, RejectsWhatItCannotHonour) {
  struct Case {
    std::vector<std::u16string> arguments;
    std::u16string error;
  };
  const std::vector<Case> cases = {
      {{u"-bogus", u"a.dll"}, u"unknown option -bogus"},
      {{u"-name:", u"a.dll"}, u"option -name: needs a value"},
      {{u"-hash:yes", u"a.dll"}, u"option -hash takes no value"},
      {{u"-noverify:yes", u"a.dll"}, u"option -noverify takes no value"},
      {{u"-noverify"}, u"no component given"},
      {{u"-version:1.2.3", u"a.dll"}, u"option -version: needs a.b.c.d"},
      {{u"-dir"}, u"option -dir: needs a value"},
      {{}, u"no component given"},
      {{u"-size"}, u"no component given"},
      {{u"-name:x", u"a.dll", u"b.dll"}, u"cannot serve several components"},
      {{u"-name:x", u"-batch:list.txt"}, u"cannot serve several components"},
  };
  for (const Case& c : cases) {
    const ParsedOptions parsed = ParseOptions(c.arguments);
    EXPECT_FALSE(parsed.options);
    EXPECT_NE(parsed.error.find(c.error), std::u16string::npos)
        << std::string(parsed.error.begin(), parsed.error.end());
  }
}

TEST(Options, HelpNeedsNoComponentAndBatchIsNotPassedOn) {
  const ParsedOptions help = Parse({u"-?"});
  ASSERT_TRUE(help.options);
  EXPECT_TRUE(help.options->help);
  EXPECT_NE(UsageText().find(u"-batch:<file>"), std::u16string::npos);
  EXPECT_NE(UsageText().find(u"-noverify"), std::u16string::npos);
  EXPECT_FALSE(Parse({u"a.dll"}).options->noVerify);

  const ParsedOptions batch = Parse({u"-batch:list.txt", u"-size"});
  ASSERT_TRUE(batch.options);
  EXPECT_EQ(batch.options->batchFile, u"list.txt");
  EXPECT_EQ(batch.options->settings, std::vector<std::u16string>{u"-size"});
}

TEST(Options, AssemblyVersionsHaveFourDecimalPartsUpTo65535) {
  EXPECT_TRUE(IsAssemblyVersion(u"1.0.0.0"));
  EXPECT_TRUE(IsAssemblyVersion(u"65535.0.10.65535"));
  EXPECT_FALSE(IsAssemblyVersion(u"65536.0.0.0"));
  EXPECT_FALSE(IsAssemblyVersion(u"1.0.0"));
  EXPECT_FALSE(IsAssemblyVersion(u"1.0.0.0.0"));
  EXPECT_FALSE(IsAssemblyVersion(u"1..0.0"));
  EXPECT_FALSE(IsAssemblyVersion(u"1.0.0.x"));
  EXPECT_FALSE(IsAssemblyVersion(u"-1.0.0.0"));
  EXPECT_FALSE(IsAssemblyVersion(u"999999.0.0.0"));
  EXPECT_FALSE(IsAssemblyVersion(u""));
}

TEST(Options, BatchFilesListOneComponentALine) {
  const std::u16string text =
      u"# components\r\n\r\n  C:\\a b\\one.dll  \r\n\"C:\\two.ocx\"\n; skipped\nthree.dll";
  EXPECT_EQ(BatchComponents(text),
            (std::vector<std::u16string>{u"C:\\a b\\one.dll", u"C:\\two.ocx", u"three.dll"}));
  EXPECT_TRUE(BatchComponents(u"\n\r\n  \n").empty());
}

}  // namespace
}  // namespace kestrelwing::regsvr42
