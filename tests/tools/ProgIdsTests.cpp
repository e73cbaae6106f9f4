#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ProgIds.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr char16_t kNew[] = u"{00000000-0000-0000-0000-00000000000A}";
constexpr char16_t kOld[] = u"{00000000-0000-0000-0000-00000000000B}";
constexpr char16_t kForeign[] = u"{00000000-0000-0000-0000-00000000000F}";

// One captured registration and the ProgIDs each of its classes must end with.
struct Case {
  const char* name;
  ProgIdTable table;
  std::vector<ClassProgIds> expected;            // one per class of the table
  std::vector<std::u16string> expectedWarnings;  // a text each warning contains, in order
};

std::vector<Case> Cases() {
  return {
      {"each version keeps its own ProgID; the version-independent one follows its key",
       {{{kNew, u"Vendor.Thing.3", u"Vendor.Thing"}, {kOld, u"Vendor.Thing.2", u"Vendor.Thing"}},
        {{u"Vendor.Thing.3", kNew, u""},
         {u"Vendor.Thing.2", kOld, u""},
         {u"Vendor.Thing", kNew, u"Vendor.Thing.3"}}},
       {{u"Vendor.Thing.3", {u"Vendor.Thing"}}, {u"Vendor.Thing.2", {}}},
       {}},
      {"an older class listed first does not take the name whose CurVer leads to the newer",
       {{{kOld, u"Vendor.Thing.2", u"Vendor.Thing"}, {kNew, u"Vendor.Thing.3", u"Vendor.Thing"}},
        {{u"Vendor.Thing", u"", u"Vendor.Thing.3"},
         {u"Vendor.Thing.2", kOld, u""},
         {u"Vendor.Thing.3", kNew, u""}}},
       {{u"Vendor.Thing.2", {}}, {u"Vendor.Thing.3", {u"Vendor.Thing"}}},
       {}},
      {"a key's own CLSID wins over its CurVer, even against the class that names the ProgID",
       {{{kNew, u"Vendor.Thing.3", u"Vendor.Thing"}, {kOld, u"Vendor.Thing.2", u""}},
        {{u"Vendor.Thing", kOld, u"Vendor.Thing.3"},
         {u"Vendor.Thing.3", kNew, u""},
         {u"Vendor.Thing.2", kOld, u""}}},
       {{u"Vendor.Thing.3", {}}, {u"Vendor.Thing.2", {u"Vendor.Thing"}}},
       {}},
      {"CurVer leads on through several keys",
       {{{kNew, u"", u""}}, {{u"A", u"", u"B"}, {u"B", u"", u"C"}, {u"C", kNew, u""}}},
       {{u"A", {u"B", u"C"}}},
       {}},
      {"a class whose ProgID value another class's key takes keeps its other name as main",
       {{{kOld, u"Vendor.Thing", u"Vendor.Thing.Legacy"}, {kNew, u"Vendor.Thing.3", u""}},
        {{u"Vendor.Thing", kNew, u""}, {u"Vendor.Thing.3", kNew, u""}}},
       {{u"Vendor.Thing.Legacy", {}}, {u"Vendor.Thing.3", {u"Vendor.Thing"}}},
       {}},
      {"ProgIDs that exist only as keys belong to the class they name",
       {{{kNew, u"Vendor.Thing.3", u""}, {kOld, u"", u""}},
        {{u"Vendor.Alias", kNew, u""}, {u"Vendor.Thing.3", kNew, u""}, {u"Vendor.Old", kOld, u""}}},
       {{u"Vendor.Thing.3", {u"Vendor.Alias"}}, {u"Vendor.Old", {}}},
       {}},
      {"letter case does not make a second ProgID; the first key of a name counts",
       {{{kNew, u"vendor.thing.3", u"Vendor.Thing"}},
        {{u"VENDOR.THING.3", kNew, u""},
         {u"vendor.thing", kNew, u""},
         {u"Vendor.Thing", kOld, u""}}},
       {{u"vendor.thing.3", {u"Vendor.Thing"}}},
       {}},
      {"a key that names a class this component does not serve is left out",
       {{{kNew, u"Vendor.Moved", u""}},
        {{u"Vendor.Moved", kForeign, u""}, {u"Vendor.Other", kForeign, u""}}},
       {{u"", {}}},
       {u"ProgID Vendor.Moved leads to class {00000000-0000-0000-0000-00000000000F}, which this "
        u"component does not serve; left out",
        u"ProgID Vendor.Other leads to class {00000000-0000-0000-0000-00000000000F}"}},
      {"two classes naming a ProgID that has no key is a real conflict",
       {{{kNew, u"Vendor.Shared", u"Vendor.New"}, {kOld, u"Vendor.Old", u"Vendor.Shared"}}, {}},
       {{u"Vendor.New", {}}, {u"Vendor.Old", {}}},
       {u"ProgID Vendor.Shared is named by classes {00000000-0000-0000-0000-00000000000A} and "
        u"{00000000-0000-0000-0000-00000000000B} and has no key of its own; left out"}},
      {"a ProgID named by one class alone needs no key",
       {{{kNew, u"Vendor.Thing.3", u"Vendor.Thing"}}, {}},
       {{u"Vendor.Thing.3", {u"Vendor.Thing"}}},
       {}},
      {"keys without CLSID or CurVer count only when a class names them; a CurVer loop ends",
       {{{kNew, u"Vendor.Looped", u""}},
        {{u"txtfile", u"", u""},
         {u"Vendor.Looped", u"", u"Vendor.Loop"},
         {u"Vendor.Loop", u"", u"Vendor.Looped"}}},
       {{u"", {}}},
       {u"ProgID Vendor.Looped of class {00000000-0000-0000-0000-00000000000A} has a key that "
        u"names no class; left out"}},
  };
}

TEST(ProgIds, EachProgIdGoesWhereItsRegistrationLeads) {
  for (const Case& test : Cases()) {
    SCOPED_TRACE(test.name);
    const SettledProgIds settled = SettleProgIds(test.table);
    ASSERT_EQ(settled.classes.size(), test.expected.size());
    for (std::size_t i = 0; i < test.expected.size(); ++i) {
      SCOPED_TRACE("class " + std::to_string(i));
      EXPECT_EQ(settled.classes[i].progId, test.expected[i].progId);
      EXPECT_EQ(settled.classes[i].otherProgIds, test.expected[i].otherProgIds);
    }
    ASSERT_EQ(settled.warnings.size(), test.expectedWarnings.size());
    for (std::size_t i = 0; i < test.expectedWarnings.size(); ++i) {
      EXPECT_NE(settled.warnings[i].find(test.expectedWarnings[i]), std::u16string::npos)
          << "warning " << i << " is: " << ToWide(settled.warnings[i]);
    }
  }
}

}  // namespace
}  // namespace kestrelwing::regsvr42
