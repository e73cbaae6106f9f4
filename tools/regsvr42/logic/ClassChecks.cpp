#include "ClassChecks.h"

#include <array>

#include "AsciiCase.h"
#include "OleMisc.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
std::optional<std::u16string> NormalizedThreadingModel(std::u16string_view registered) {
  // "Single" is the main apartment, which a manifest says by leaving the attribute out.
  if (registered.empty() || SameIgnoringCase(registered, u"Single")) return std::u16string();
  constexpr std::array<std::u16string_view, 4> kModels = {u"Apartment", u"Both", u"Free",
                                                          u"Neutral"};
  for (std::u16string_view model : kModels) {
    if (SameIgnoringCase(registered, model)) return std::u16string(model);
  }
  return std::nullopt;
}

std::vector<std::u16string> CheckClasses(std::vector<ComClass>& classes) {
  std::vector<std::u16string> warnings;
  for (ComClass& comClass : classes) {
    const std::u16string registered = std::move(comClass.threadingModel);
    const auto model = NormalizedThreadingModel(registered);
    comClass.threadingModel = model.value_or(u"");
    if (!model) {
      warnings.push_back(u"class " + comClass.clsid + u" has an unknown threading model \"" +
                         registered + u"\"; left out");
    } else if (registered.empty()) {
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
