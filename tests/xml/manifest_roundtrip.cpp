// manifest_roundtrip <folder>: the rewrite of "Generar SxS" (parse, pretty save with four spaces
// and the encoding kept, parse again) on every *.manifest of a folder, compared element by
// element. The manifests themselves are not touched. Exits 1 when any rewrite changed something.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "ManifestRoundTrip.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: manifest_roundtrip <folder>\n");
    return 2;
  }
  const fs::path folder = fs::u8path(argv[1]);
  std::error_code error;
  std::vector<fs::path> manifests;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file() && entry.path().extension() == ".manifest") {
      manifests.push_back(entry.path());
    }
  }
  if (error || manifests.empty()) {
    std::fprintf(stderr, "manifest_roundtrip: no *.manifest in %s\n", argv[1]);
    return 2;
  }
  std::sort(manifests.begin(), manifests.end());

  const fs::path scratchFolder = fs::temp_directory_path() / "kestrelwing-manifest-roundtrip";
  fs::create_directories(scratchFolder, error);
  const fs::path scratch = scratchFolder / "rewritten.manifest";

  std::size_t elements = 0;
  std::size_t failures = 0;
  std::size_t unreadable = 0;
  for (const fs::path& manifest : manifests) {
    const kestrelwing::testing::ManifestRoundTrip result =
        kestrelwing::testing::RoundTripManifest(manifest, scratch);
    elements += result.elements;
    if (!result.readable) {
      ++unreadable;
    } else if (!result.failure.empty()) {
      ++failures;
    }
    if (!result.failure.empty()) {
      std::printf("%s: %s\n", manifest.filename().string().c_str(), result.failure.c_str());
    }
  }
  fs::remove_all(scratchFolder, error);

  std::printf("manifest_roundtrip: %zu files, %zu elements checked, %zu failures, %zu unreadable\n",
              manifests.size(), elements, failures, unreadable);
  return failures == 0 && unreadable < manifests.size() ? 0 : 1;
}
