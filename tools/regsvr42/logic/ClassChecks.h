// Checks of the classes a component registered, before they go into its manifest.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// The threading model as a manifest spells it, whatever the letter case of the registered value:
// "Apartment", "Both", "Free" or "Neutral"; empty for none or "Single"; none when unknown.
std::optional<std::u16string> NormalizedThreadingModel(std::u16string_view registered);

// Normalizes each class's threading model (an unknown one is removed) and answers one warning per
// finding: a class without a threading model or with an unknown one, MiscStatus bits without a
// name.
std::vector<std::u16string> CheckClasses(std::vector<ComClass>& classes);

}  // namespace kestrelwing::regsvr42
