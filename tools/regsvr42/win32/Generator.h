// Makes the manifest of one component: inspect, capture its registration, read its type
// libraries, build the documents and write them, all or nothing.
#pragma once

#include <string>
#include <vector>

#include "Options.h"

namespace kestrelwing::regsvr42 {

struct Generated {
  std::vector<std::wstring> written;     // manifests written, component manifest first (a
                                         // client program when its embedded manifest changed)
  std::vector<std::u16string> notices;   // what else the run did, for standard output
  std::vector<std::u16string> warnings;  // things worth knowing that did not stop the run
};

// Throws Failure; nothing is written then. A component of the other bitness goes to the sibling
// generator, whose failure comes back as a Failure with its exit code.
Generated GenerateManifest(const std::wstring& component, const Options& options);

}  // namespace kestrelwing::regsvr42
