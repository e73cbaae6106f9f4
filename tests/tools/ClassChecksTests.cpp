#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ClassChecks.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

ComClass Class(std::u16string clsid, std::u16string threadingModel, std::u16string progId,
               std::vector<std::u16string> otherProgIds = {}) {
  ComClass comClass;
  comClass.clsid = std::move(clsid);
  comClass.threadingModel = std::move(threadingModel);
  comClass.progId = std::move(progId);
  comClass.otherProgIds = std::move(otherProgIds);
  return comClass;
}

bool Mentions(const std::vector<std::u16string>& warnings, std::u16string_view text) {
  for (const std::u16string& warning : warnings) {
    if (warning.find(text) != std::u16string::npos) return true;
  }
  return false;
}

TEST(ClassChecks, WellRegisteredClassesPassUntouched) {
  std::vector<ComClass> classes = {Class(u"{A}", u"Apartment", u"Grid.1", {u"Grid"}),
                                   Class(u"{B}", u"Both", u"Chart.1", {u"Chart"})};
  EXPECT_TRUE(CheckClasses(classes).empty());
  EXPECT_EQ(classes[0].progId, u"Grid.1");
  EXPECT_EQ(classes[1].otherProgIds, std::vector<std::u16string>{u"Chart"});
}

TEST(ClassChecks, WarnsAboutAMissingThreadingModel) {
  std::vector<ComClass> classes = {Class(u"{A}", u"", u"Grid.1")};
  const std::vector<std::u16string> warnings = CheckClasses(classes);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(Mentions(warnings, u"class {A} has no threading model"));
  EXPECT_EQ(classes[0].progId, u"Grid.1");
}

TEST(ClassChecks, ThreadingModelsAreSpelledAsManifestsWantThem) {
  const std::vector<std::pair<std::u16string, std::optional<std::u16string>>> cases = {
      {u"apartment", u"Apartment"},
      {u"BOTH", u"Both"},
      {u"free", u"Free"},
      {u"nEUTRAL", u"Neutral"},
      {u"Apartment", u"Apartment"},
      {u"single", u""},
      {u"", u""},
      {u"Apartement", std::nullopt},
      {u"Both ", std::nullopt}};
  for (const auto& [registered, expected] : cases) {
    EXPECT_EQ(NormalizedThreadingModel(registered), expected) << ToWide(registered);
  }

  std::vector<ComClass> classes = {Class(u"{A}", u"both", u""), Class(u"{B}", u"Apartement", u""),
                                   Class(u"{C}", u"Single", u"")};
  const std::vector<std::u16string> warnings = CheckClasses(classes);
  EXPECT_EQ(classes[0].threadingModel, u"Both");
  EXPECT_EQ(classes[1].threadingModel, u"");
  EXPECT_EQ(classes[2].threadingModel, u"");
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(Mentions(warnings, u"class {B} has an unknown threading model \"Apartement\""));
}

TEST(ClassChecks, WarnsAboutMiscStatusBitsWithoutAName) {
  std::vector<ComClass> classes = {Class(u"{A}", u"Apartment", u"")};
  classes[0].miscStatus[static_cast<std::size_t>(Aspect::Content)] = 0x80000001u;
  classes[0].miscStatus[static_cast<std::size_t>(Aspect::Icon)] = 0x400;
  const std::vector<std::u16string> warnings = CheckClasses(classes);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(Mentions(warnings, u"MiscStatus bits 0x80000000 without a name"));
}

}  // namespace
}  // namespace kestrelwing::regsvr42
