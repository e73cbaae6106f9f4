// Which class each ProgID of a registration leads to, decided as the registration itself decides
// it: by the ProgID's own key.
#pragma once

#include <string>
#include <vector>

namespace kestrelwing::regsvr42 {

// The ProgID values below one class's key. They only say which names to look for and which one
// the class calls its own (versioned) ProgID.
struct ClassProgIdValues {
  std::u16string clsid;                     // "{...}"
  std::u16string progId;                    // the ProgID value, empty when none
  std::u16string versionIndependentProgId;  // the VersionIndependentProgID value, empty when none
};

// One HKCR\<ProgID> key.
struct ProgIdKey {
  std::u16string name;
  std::u16string clsid;   // default value of its CLSID subkey, empty when it has none
  std::u16string curVer;  // default value of its CurVer subkey, empty when it has none
};

// What a captured registration says about ProgIDs: the component's classes and every ProgID key.
struct ProgIdTable {
  std::vector<ClassProgIdValues> classes;
  std::vector<ProgIdKey> keys;  // of keys with the same name (in any case) the first counts
};

struct ClassProgIds {
  std::u16string progId;                     // the main ProgID, empty when the class has none
  std::vector<std::u16string> otherProgIds;  // the class's further ProgIDs
};

struct SettledProgIds {
  std::vector<ClassProgIds> classes;  // one per class of the table, in its order
  std::vector<std::u16string> warnings;
};

// A ProgID belongs to the class its key names through CLSID, or through CurVer when the key has no
// CLSID of its own. A ProgID without a key belongs to the one class that names it; one named by
// several classes is ambiguous and left out, as is one whose key leads to no class of the table.
// Keys that name a class of the table give it their ProgID even when no class value names it.
// A class's main ProgID is its ProgID value, else its VersionIndependentProgID value, else the
// first one it got; no ProgID (compared without letter case) is given twice.
SettledProgIds SettleProgIds(const ProgIdTable& table);

}  // namespace kestrelwing::regsvr42
