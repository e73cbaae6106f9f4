#include "ClassChecks.h"

#include <map>

#include "OleMisc.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {

std::vector<std::u16string> CheckClasses(std::vector<ComClass>& classes) {
  std::vector<std::u16string> warnings;
  std::map<std::u16string, std::u16string> owners;  // ProgID -> CLSID of the class keeping it
  for (ComClass& comClass : classes) {
    if (comClass.threadingModel.empty()) {
      warnings.push_back(u"class " + comClass.clsid +
                         u" has no threading model (it will run in the main apartment)");
    }
    for (const std::optional<std::uint32_t>& status : comClass.miscStatus) {
      if (!status) continue;
      const std::uint32_t unknown = NameOleMisc(*status).unknownBits;
      if (unknown != 0) {
        warnings.push_back(u"class " + comClass.clsid + u" has MiscStatus bits " +
                           HexCode(unknown) + u" without a name; left out");
      }
    }
    auto claim = [&](const std::u16string& progId) {
      const auto [owner, inserted] = owners.try_emplace(progId, comClass.clsid);
      if (inserted) return true;
      warnings.push_back(u"ProgID " + progId + u" of class " + comClass.clsid +
                         u" is already used by class " + owner->second + u"; left out");
      return false;
    };
    if (!comClass.progId.empty() && !claim(comClass.progId)) comClass.progId.clear();
    std::erase_if(comClass.otherProgIds,
                  [&](const std::u16string& progId) { return !claim(progId); });
    // A class that lost its ProgID keeps the first other one it still has as its own.
    if (comClass.progId.empty() && !comClass.otherProgIds.empty()) {
      comClass.progId = comClass.otherProgIds.front();
      comClass.otherProgIds.erase(comClass.otherProgIds.begin());
    }
  }
  return warnings;
}

}  // namespace kestrelwing::regsvr42
