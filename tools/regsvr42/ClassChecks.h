// Checks of the classes a component registered, before they go into its manifest.
#pragma once

#include <string>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// Answers one warning per finding: a class without a threading model, MiscStatus bits without a
// name, a ProgID claimed by more than one class. A ProgID stays with the first class (in the
// given order) that names it and is removed from the others, since activation can lead to only
// one class.
std::vector<std::u16string> CheckClasses(std::vector<ComClass>& classes);

}  // namespace kestrelwing::regsvr42
