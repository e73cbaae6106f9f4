// The generator's PE reader on any bytes (header, imports, resources, the embedded manifest, the
// security directory): it reads only what lies inside the file (the sanitizers see any read past
// it), answers a known machine only with its architecture, and lists a bounded number of bounded
// import names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "PeHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrelwing::regsvr42;
  const std::span<const std::uint8_t> bytes(data, size);
  const PeHeader header = ReadPeHeader(bytes);
  if (header.status == PeStatus::Ok &&
      !(header.machine == 0x14C && header.architecture == Architecture::X86) &&
      !(header.machine == 0x8664 && header.architecture == Architecture::Amd64)) {
    std::abort();
  }
  // An embedded manifest read is a part of the file, and only of one the header finds.
  const auto manifest = ReadEmbeddedManifest(bytes);
  if (manifest && (manifest->bytes.size() > size || manifest->languageCount == 0 ||
                   !HasEmbeddedManifest(bytes))) {
    std::abort();
  }
  (void)HasSignature(bytes);
  // A damaged table gives a bounded list of bounded names, whatever it claims.
  const std::vector<std::string> modules = ImportedModules(bytes);
  if (modules.size() > 4096) std::abort();
  for (const std::string& name : modules) {
    if (name.size() > 260 || name.size() > size) std::abort();
  }
  return 0;
}
