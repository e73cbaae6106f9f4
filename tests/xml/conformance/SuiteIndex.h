// The W3C XML conformance suite's index (xmlconf.xml and the collection files it includes as
// external entities), read down to the cases an XML 1.0 (fifth edition) non-validating processor
// that knows no namespaces is judged on.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrelwing::conformance {

enum class CaseType { Valid, Invalid, NotWellFormed, Error };
std::string_view TypeName(CaseType type);  // as the index spells it: valid, invalid, not-wf, error

struct SuiteCase {
  std::string id;
  CaseType type = CaseType::Valid;
  std::filesystem::path file;
  std::filesystem::path output;  // the canonical form's file; empty without one
  // ENTITIES other than "none": the case needs an external entity, which is never read, so it is
  // counted apart.
  bool needsExternalEntity = false;
};

// One TESTCASES element of xmlconf.xml.
struct Collection {
  std::string name;     // the folder of its files in the suite
  std::string profile;  // what the suite calls it
  std::vector<SuiteCase> cases;
  // Cases left out: for XML 1.1, for editions before the fifth only, and namespace tests.
  std::size_t otherVersion = 0;
  std::size_t otherEdition = 0;
  std::size_t namespaces = 0;
};

struct SuiteIndex {
  std::vector<Collection> collections;  // in the order of xmlconf.xml
  std::string failure;                  // why the index could not be read; empty when it was
};

// Reads <folder>/xmlconf.xml and what it includes; every case's file is resolved against the
// collection file that lists it (as XML Base resolves it), not against xml:base in xmlconf.xml.
SuiteIndex ReadSuiteIndex(const std::filesystem::path& folder);

}  // namespace kestrelwing::conformance
