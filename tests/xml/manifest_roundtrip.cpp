// manifest_roundtrip [--portable-scanning] <folder>: the rewrite of "Generar SxS" (parse, pretty
// save with four spaces and the encoding kept, parse again) on every *.manifest of a folder,
// compared element by element, with the library's SSE2 paths or (--portable-scanning) the
// portable code beside them. Either way each manifest is also read and saved on both paths, which
// must agree. The manifests themselves are not touched. Exits 1 when any rewrite changed
// something or the paths disagreed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "ManifestRoundTrip.h"
#include "ScanningPaths.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  const bool portable = argc == 3 && std::string_view(argv[1]) == "--portable-scanning";
  if (argc != 2 && !portable) {
    std::fprintf(stderr, "usage: manifest_roundtrip [--portable-scanning] <folder>\n");
    return 2;
  }
  const char* folderArgument = argv[argc - 1];
  const fs::path folder = fs::u8path(folderArgument);
  std::error_code error;
  std::vector<fs::path> manifests;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    if (entry.is_regular_file() && entry.path().extension() == ".manifest") {
      manifests.push_back(entry.path());
    }
  }
  if (error || manifests.empty()) {
    std::fprintf(stderr, "manifest_roundtrip: no *.manifest in %s\n", folderArgument);
    return 2;
  }
  std::sort(manifests.begin(), manifests.end());

  const fs::path scratchFolder = fs::temp_directory_path() / "kestrelwing-manifest-roundtrip";
  fs::create_directories(scratchFolder, error);
  const fs::path scratch = scratchFolder / "rewritten.manifest";

  std::size_t elements = 0;
  std::size_t failures = 0;
  std::size_t unreadable = 0;
  std::size_t pathDifferences = 0;
  for (const fs::path& manifest : manifests) {
    std::ifstream in(manifest, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string difference = kestrelwing::testing::CompareScanningPaths(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
        kestrelwing::XmlSyntax::Dialect);
    if (!difference.empty()) {
      ++pathDifferences;
      std::printf("%s: the scanning paths differ: %s\n", manifest.filename().string().c_str(),
                  difference.c_str());
    }
    std::optional<kestrelwing::testing::ScanningPaths> paths;
    if (portable) paths.emplace(/*wide=*/false);
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

  std::printf(
      "manifest_roundtrip (%s paths): %zu files, %zu elements checked, %zu failures, %zu "
      "unreadable, %zu read differently on the two paths\n",
      portable ? "portable" : "SSE2", manifests.size(), elements, failures, unreadable,
      pathDifferences);
  return failures == 0 && pathDifferences == 0 && unreadable < manifests.size() ? 0 : 1;
}
