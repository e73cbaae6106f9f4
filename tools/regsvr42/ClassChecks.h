// Checks of the classes a component registered, before they go into its manifest.
#pragma once

#include <string>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// Answers one warning per finding: a class without a threading model, MiscStatus bits without a
// name.
std::vector<std::u16string> CheckClasses(std::vector<ComClass>& classes);

}  // namespace kestrelwing::regsvr42
