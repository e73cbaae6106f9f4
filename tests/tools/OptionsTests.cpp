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
      Parse({u"-NAME:My.Assembly", u"/version:1.2.3.4", u"-Hash", u"/SIZE", u"-dir:C:\\out",
             u"-client:C:\\app\\app.exe", u"-NoVerify", u"/Embed", u"C:\\c\\grid.ocx"});
  ASSERT_TRUE(parsed.options) << std::string(parsed.error.begin(), parsed.error.end());
  const Options& options = *parsed.options;
  EXPECT_EQ(options.name, u"My.Assembly");
  EXPECT_EQ(options.versionSource, VersionSource::Explicit);
  EXPECT_EQ(options.version, u"1.2.3.4");
  EXPECT_TRUE(options.sha1);
  EXPECT_TRUE(options.size);
  EXPECT_EQ(options.directory, u"C:\\out");
  EXPECT_EQ(options.client, u"C:\\app\\app.exe");
  EXPECT_TRUE(options.noVerify);
  EXPECT_TRUE(options.embed);
  EXPECT_EQ(options.components, std::vector<std::u16string>{u"C:\\c\\grid.ocx"});
  // Everything but the component is passed on to a sibling generator as given.
  EXPECT_EQ(options.settings.size(), 8u);
  EXPECT_EQ(options.settings.front(), u"-NAME:My.Assembly");
}

// A report is created anew by the generator given it, and added to by the generator it hands a
// component to; an empty file name is refused.
TEST(Options, ReportIsAddedToByTheGeneratorHandedTheComponent) {
  struct Case {
    std::u16string argument;
    std::u16string report;  // empty: refused
    bool append;
    std::u16string passedOn;
  };
  const Case cases[] = {
      {u"-report:C:\\t\\r.txt", u"C:\\t\\r.txt", false, u"-appendreport:C:\\t\\r.txt"},
      {u"/REPORT:r.txt", u"r.txt", false, u"-appendreport:r.txt"},
      {u"-appendreport:r.txt", u"r.txt", true, u"-appendreport:r.txt"},
      {u"-report:", u"", false, u""},
      {u"-report", u"", false, u""},
  };
  for (const Case& c : cases) {
    const ParsedOptions parsed = Parse({c.argument, u"a.dll"});
    if (c.report.empty()) {
      EXPECT_FALSE(parsed.options) << std::string(c.argument.begin(), c.argument.end());
      continue;
    }
    ASSERT_TRUE(parsed.options) << std::string(parsed.error.begin(), parsed.error.end());
    EXPECT_EQ(parsed.options->report, c.report);
    EXPECT_EQ(parsed.options->appendReport, c.append);
    EXPECT_EQ(parsed.options->settings, std::vector<std::u16string>{c.passedOn});
  }
  EXPECT_TRUE(Parse({u"a.dll"}).options->report.empty());
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
      {{u"-embed:yes", u"-client:app.exe", u"a.dll"}, u"option -embed takes no value"},
      {{u"-embed", u"a.dll"},
       u"option -embed changes a client program's manifest and needs "
       u"-client:"},
      {{u"-version:1.2.3", u"a.dll"}, u"option -version: needs a.b.c.d"},
      {{u"-version:1.2.3.65536", u"a.dll"}, u"option -version: needs a.b.c.d"},
      // Names the loader could not find or parse, and a hash Windows does not document.
      {{u"-name:My,Grid", u"a.dll"}, u"option -name: name \"My,Grid\" holds a comma"},
      {{u"-name:\"Grid\"", u"a.dll"}, u"holds a comma, a quote or a path separator"},
      {{u"-name:out\\grid", u"a.dll"}, u"holds a comma, a quote or a path separator"},
      {{u"-name:out/grid", u"a.dll"}, u"holds a comma, a quote or a path separator"},
      {{u"-sha256", u"a.dll"}, u"Windows documents only SHA1"},
      {{u"-dir"}, u"option -dir: needs a value"},
      {{}, u"no component given"},
      {{u"-size"}, u"no component given"},
      {{u"-name:x", u"a.dll", u"b.dll"}, u"cannot serve several components"},
      {{u"-name:x", u"-batch:list.txt"}, u"cannot serve several components"},
      {{u"-timeout:0", u"a.dll"}, u"option -timeout: needs a number of seconds from 1 to 3600"},
      {{u"-timeout:3601", u"a.dll"}, u"needs a number of seconds from 1 to 3600, not \"3601\""},
      {{u"-timeout:", u"a.dll"}, u"option -timeout: needs a number"},
      {{u"-timeout:5s", u"a.dll"}, u"not \"5s\""},
      {{u"-timeout:-5", u"a.dll"}, u"option -timeout: needs a number"},
      {{u"-timeout:99999", u"a.dll"}, u"option -timeout: needs a number"},
  };
  for (const Case& c : cases) {
    const ParsedOptions parsed = ParseOptions(c.arguments);
    EXPECT_FALSE(parsed.options);
    EXPECT_NE(parsed.error.find(c.error), std::u16string::npos)
        << std::string(parsed.error.begin(), parsed.error.end());
  }
}

TEST(Options, TimeoutTakesWholeSecondsAndIsPassedOn) {
  const std::pair<std::u16string, unsigned> cases[] = {
      {u"-timeout:1", 1}, {u"/TIMEOUT:3600", 3600}, {u"-timeout:0090", 90}};
  for (const auto& [argument, seconds] : cases) {
    const ParsedOptions parsed = Parse({argument, u"a.dll"});
    ASSERT_TRUE(parsed.options) << std::string(parsed.error.begin(), parsed.error.end());
    EXPECT_EQ(parsed.options->timeoutSeconds, seconds);
    EXPECT_EQ(parsed.options->settings, std::vector<std::u16string>{argument});
  }
  EXPECT_EQ(Parse({u"a.dll"}).options->timeoutSeconds, 60u);
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
