// Classes the component declines: the self-check's list, read back, and taken out of the manifest.
#include <gtest/gtest.h>

#include <kestrelwing/cXmlNode.h>

#include "DeclinedClasses.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr char16_t kA[] = u"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}";
constexpr char16_t kB[] = u"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C}";
constexpr char16_t kC[] = u"{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5D}";

TEST(DeclinedClasses, TheCheckListIsReadBackOrRefusedWhole) {
  const std::vector<DeclinedClass> list{{kA, kClassNotAvailable}, {kB, kNoInterface}};
  const std::string text = DeclinedText(list);
  EXPECT_EQ(text,
            "{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B} 0x80040111\n"
            "{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5C} 0x80004002\n");
  const auto read = ReadDeclinedText(text);
  ASSERT_TRUE(read);
  ASSERT_EQ(read->size(), 2u);
  EXPECT_EQ((*read)[1].clsid, kB);
  EXPECT_EQ((*read)[1].code, kNoInterface);
  EXPECT_TRUE(ReadDeclinedText("")->empty());

  const char* refused[] = {
      "{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B} 0x80040111",    // cut short
      "{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B} 0x80004005\n",  // E_FAIL declines nothing
      "{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B} 80040111\n",
      "{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B} 0x8004011g\n",
      "6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B 0x80040111\n",
      " 0x80040111\n",
      "{6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B}\n",
  };
  for (const char* text : refused)
    EXPECT_FALSE(ReadDeclinedText(text)) << text;
}

TEST(DeclinedClasses, EachDeclinedClassLeavesWithItsProgIdsAndIsNamed) {
  ComponentManifest manifest;
  manifest.fileName = u"grid.ocx";
  manifest.classes = {{kA, u"", u"Apartment", u"Grid.Cell.1", {u"Grid.Cell"}, u"{L}", {}},
                      {kB, u"", u"Apartment", u"", {u"Grid.Other"}, u"", {}},
                      {kC, u"", u"Both", u"", {}, u"", {}}};
  manifest.typeLibraries.push_back({u"{L}", 1, 0, u"", 0, 1});
  // Letter case of the CLSID does not matter; a CLSID the manifest lacks is not named.
  const std::vector<std::u16string> lines =
      LeaveOutDeclined(manifest, {{u"{6f1c2b3a-5d4e-4f60-8a7b-9c0d1e2f3e5d}", kNoInterface},
                                  {kA, kClassNotAvailable},
                                  {u"{00000000-0000-0000-0000-000000000000}", kClassNotAvailable}});
  const std::vector<std::u16string> expected = {
      u"left out grid.ocx: class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5B} (Grid.Cell.1): the "
      u"component does not serve it (0x80040111)",
      u"left out grid.ocx: class {6F1C2B3A-5D4E-4F60-8A7B-9C0D1E2F3E5D}: the component does not "
      u"serve it (0x80004002)"};
  EXPECT_EQ(lines, expected);
  ASSERT_EQ(manifest.classes.size(), 1u);
  EXPECT_EQ(manifest.classes.front().clsid, kB);
  EXPECT_EQ(manifest.typeLibraries.size(), 1u);  // nothing else leaves

  // Without a main ProgID the first other one names the class.
  EXPECT_EQ(LeaveOutDeclined(manifest, {{kB, kClassNotAvailable}}),
            std::vector<std::u16string>{u"left out grid.ocx: class " + std::u16string(kB) +
                                        u" (Grid.Other): the component does not serve it "
                                        u"(0x80040111)"});
  EXPECT_TRUE(manifest.classes.empty());
}

}  // namespace
}  // namespace kestrelwing::regsvr42
