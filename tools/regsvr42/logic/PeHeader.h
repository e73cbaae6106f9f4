// The few facts the generator needs from a component's PE header.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

enum class PeStatus { Ok, NotPe, UnsupportedMachine };

struct PeHeader {
  PeStatus status = PeStatus::NotPe;
  std::uint16_t machine = 0;                      // IMAGE_FILE_HEADER.Machine when a PE file
  Architecture architecture = Architecture::X86;  // meaningful when status is Ok
};

// Reads the DOS stub, the "PE\0\0" signature and the file header from the file's bytes.
PeHeader ReadPeHeader(std::span<const std::uint8_t> file);

// True when the file carries a manifest as resource 1 of type RT_MANIFEST (24), the one Windows
// uses for a program's process instead of any <program>.manifest beside it.
bool HasEmbeddedManifest(std::span<const std::uint8_t> file);

// The process manifest of a program, as its resource holds it.
struct EmbeddedManifest {
  std::uint16_t language = 0;     // the language of the resource entry read
  std::size_t languageCount = 0;  // how many languages resource 1 of RT_MANIFEST has
  std::vector<std::uint8_t> bytes;
};

// The bytes of resource 1 of type RT_MANIFEST in its first language; none when the file has no
// such resource or the resource tables or data lie outside the file.
std::optional<EmbeddedManifest> ReadEmbeddedManifest(std::span<const std::uint8_t> file);

// True when the optional header's security directory (IMAGE_DIRECTORY_ENTRY_SECURITY) is not
// empty: the file carries a certificate, an Authenticode signature, that any change to it breaks.
bool HasSignature(std::span<const std::uint8_t> file);

// The names of the DLLs in the file's import directory, in table order; empty when the file has
// none or the table is damaged.
std::vector<std::string> ImportedModules(std::span<const std::uint8_t> file);

}  // namespace kestrelwing::regsvr42
