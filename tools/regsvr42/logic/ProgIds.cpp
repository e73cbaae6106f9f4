#include "ProgIds.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <optional>
#include <set>

#include "AsciiCase.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

// Where a ProgID's key leads.
struct Lead {
  bool hasKey = false;
  std::u16string clsid;  // empty when the key (or the chain of CurVer keys) names no class
};

class Registration {
 public:
  explicit Registration(const ProgIdTable& table) : table_(table) {
    for (std::size_t i = 0; i < table.keys.size(); ++i)
      keys_.try_emplace(AsciiUpper(table.keys[i].name), i);
    for (std::size_t i = 0; i < table.classes.size(); ++i)
      classes_.try_emplace(AsciiUpper(table.classes[i].clsid), i);
  }

  // Follows CurVer while a key has no CLSID of its own; a loop of CurVer keys leads nowhere.
  Lead Follow(const std::u16string& progId) const {
    Lead lead;
    std::set<std::u16string> visited;
    std::u16string name = AsciiUpper(progId);
    while (visited.insert(name).second) {
      const auto found = keys_.find(name);
      if (found == keys_.end()) return lead;
      lead.hasKey = true;
      const ProgIdKey& key = table_.keys[found->second];
      if (!key.clsid.empty()) {
        lead.clsid = key.clsid;
        return lead;
      }
      if (key.curVer.empty()) return lead;
      name = AsciiUpper(key.curVer);
    }
    return lead;
  }

  std::optional<std::size_t> ClassIndex(const std::u16string& clsid) const {
    const auto found = classes_.find(AsciiUpper(clsid));
    if (found == classes_.end()) return std::nullopt;
    return found->second;
  }

  // The classes whose ProgID or VersionIndependentProgID value is the name.
  std::vector<std::size_t> Namers(const std::u16string& upper) const {
    std::vector<std::size_t> namers;
    for (std::size_t i = 0; i < table_.classes.size(); ++i) {
      const ClassProgIdValues& values = table_.classes[i];
      if (AsciiUpper(values.progId) == upper ||
          AsciiUpper(values.versionIndependentProgId) == upper) {
        namers.push_back(i);
      }
    }
    return namers;
  }

 private:
  const ProgIdTable& table_;
  std::map<std::u16string, std::size_t> keys_;     // upper-case name -> first key of that name
  std::map<std::u16string, std::size_t> classes_;  // upper-case CLSID -> class
};

std::u16string ClassList(const ProgIdTable& table, const std::vector<std::size_t>& indexes) {
  std::u16string list;
  for (std::size_t index : indexes) {
    if (!list.empty()) list += index == indexes.back() ? u" and " : u", ";
    list += table.classes[index].clsid;
  }
  return list;
}

// Every name that may be a ProgID of the component: the class values first, then the keys.
std::vector<std::u16string> CandidateNames(const ProgIdTable& table) {
  std::vector<std::u16string> names;
  std::set<std::u16string> seen;
  auto add = [&](const std::u16string& name) {
    if (!name.empty() && seen.insert(AsciiUpper(name)).second) names.push_back(name);
  };
  for (const ClassProgIdValues& values : table.classes) {
    add(values.progId);
    add(values.versionIndependentProgId);
  }
  for (const ProgIdKey& key : table.keys)
    add(key.name);
  return names;
}

// The class the registration gives the name to, if one of the table's; warns where it gives it
// to none of them although the name looks meant for one.
std::optional<std::size_t> Owner(const ProgIdTable& table, const Registration& registration,
                                 const std::u16string& name,
                                 std::vector<std::u16string>& warnings) {
  const Lead lead = registration.Follow(name);
  const std::vector<std::size_t> namers = registration.Namers(AsciiUpper(name));
  if (!lead.hasKey) {
    if (namers.size() == 1) return namers.front();
    warnings.push_back(u"ProgID " + name + u" is named by classes " + ClassList(table, namers) +
                       u" and has no key of its own; left out");
    return std::nullopt;
  }
  if (lead.clsid.empty()) {
    // A key without CLSID or CurVer is no class's ProgID (file types look like that) unless a
    // class names it.
    if (!namers.empty()) {
      warnings.push_back(u"ProgID " + name + u" of class " + ClassList(table, namers) +
                         u" has a key that names no class; left out");
    }
    return std::nullopt;
  }
  const auto owner = registration.ClassIndex(lead.clsid);
  if (!owner) {
    warnings.push_back(u"ProgID " + name + u" leads to class " + lead.clsid +
                       u", which this component does not serve; left out");
  }
  return owner;
}

}  // namespace

SettledProgIds SettleProgIds(const ProgIdTable& table) {
  const Registration registration(table);
  SettledProgIds settled;
  std::vector<std::vector<std::u16string>> owned(table.classes.size());
  for (const std::u16string& name : CandidateNames(table)) {
    if (const auto owner = Owner(table, registration, name, settled.warnings)) {
      owned[*owner].push_back(name);
    }
  }

  for (std::size_t i = 0; i < table.classes.size(); ++i) {
    std::vector<std::u16string>& names = owned[i];
    ClassProgIds progIds;
    const ClassProgIdValues& values = table.classes[i];
    for (const std::u16string* preferred : {&values.progId, &values.versionIndependentProgId}) {
      if (preferred->empty()) continue;
      const auto found = std::find_if(names.begin(), names.end(), [&](const std::u16string& n) {
        return SameIgnoringCase(n, *preferred);
      });
      if (found == names.end()) continue;
      progIds.progId = *found;
      names.erase(found);
      break;
    }
    if (progIds.progId.empty() && !names.empty()) {
      progIds.progId = names.front();
      names.erase(names.begin());
    }
    progIds.otherProgIds = std::move(names);
    settled.classes.push_back(std::move(progIds));
  }
  return settled;
}

}  // namespace kestrelwing::regsvr42
