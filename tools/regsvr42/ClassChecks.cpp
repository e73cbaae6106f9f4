#include "ClassChecks.h"

#include "OleMisc.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {

std::vector<std::u16string> CheckClasses(std::vector<ComClass>& classes) {
  std::vector<std::u16string> warnings;
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
  }
  return warnings;
}

}  // namespace kestrelwing::regsvr42
