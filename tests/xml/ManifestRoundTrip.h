// The rewrite of "Generar SxS" checked on one manifest: parse, save pretty-printed with four
// spaces and the encoding kept, parse again, and compare.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace kestrelwing::testing {

struct ManifestRoundTrip {
  bool readable = false;     // false when the first parse already failed
  int readEncoding = -1;     // the EncodingId the first parse found
  std::size_t elements = 0;  // elements compared, the declaration included
  std::string failure;       // empty when the rewrite kept everything
};

// Writes the rewritten manifest to scratch (the manifest itself is not touched). The mark is
// written only for a UTF-16 manifest, as the manifest action does.
ManifestRoundTrip RoundTripManifest(const std::filesystem::path& manifest,
                                    const std::filesystem::path& scratch);

}  // namespace kestrelwing::testing
