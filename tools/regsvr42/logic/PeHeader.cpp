#include "PeHeader.h"

#include <optional>

namespace kestrelwing::regsvr42 {
namespace {

constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::size_t kNewHeaderOffsetField = 0x3C;

std::uint16_t Read16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t Read32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(Read16(bytes, at)) |
         static_cast<std::uint32_t>(Read16(bytes, at + 2)) << 16;
}

// Where the PE signature starts, or none when the DOS header does not lead to one.
std::optional<std::size_t> PeOffset(std::span<const std::uint8_t> file) {
  if (file.size() < kNewHeaderOffsetField + 4 || file[0] != 'M' || file[1] != 'Z') return {};
  const std::uint32_t offset = Read32(file, kNewHeaderOffsetField);
  // Signature (4 bytes) followed by the 20-byte file header.
  if (offset > file.size() || file.size() - offset < 24) return {};
  if (file[offset] != 'P' || file[offset + 1] != 'E' || file[offset + 2] != 0 ||
      file[offset + 3] != 0) {
    return {};
  }
  return offset;
}

// The file offset of a relative virtual address, through the section table.
std::optional<std::size_t> FileOffsetOf(std::span<const std::uint8_t> file, std::size_t sections,
                                        std::size_t sectionCount, std::uint32_t rva) {
  constexpr std::size_t kSectionSize = 40;
  for (std::size_t i = 0; i < sectionCount; ++i) {
    const std::size_t at = sections + i * kSectionSize;
    if (at + kSectionSize > file.size()) return {};
    const std::uint32_t virtualSize = Read32(file, at + 8);
    const std::uint32_t virtualAddress = Read32(file, at + 12);
    const std::uint32_t rawSize = Read32(file, at + 16);
    const std::uint32_t rawPointer = Read32(file, at + 20);
    const std::uint32_t extent = virtualSize > rawSize ? virtualSize : rawSize;
    if (rva >= virtualAddress && rva - virtualAddress < extent) {
      const std::size_t offset = std::size_t{rawPointer} + (rva - virtualAddress);
      if (offset >= file.size()) return {};
      return offset;
    }
  }
  return {};
}

// One entry of the optional header's data directories: its address and size as written, and the
// section table the address is mapped through. None when the header is too short to hold it.
struct DirectoryEntry {
  std::uint32_t address = 0;
  std::uint32_t size = 0;
  std::size_t sections = 0;
  std::size_t sectionCount = 0;
};

std::optional<DirectoryEntry> ReadDirectoryEntry(std::span<const std::uint8_t> file,
                                                 std::size_t index) {
  const auto pe = PeOffset(file);
  if (!pe) return {};
  const std::size_t fileHeader = *pe + 4;
  const std::size_t sectionCount = Read16(file, fileHeader + 2);
  const std::size_t optionalSize = Read16(file, fileHeader + 16);
  const std::size_t optional = fileHeader + 20;
  if (optional + optionalSize > file.size() || optionalSize < 2) return {};
  const std::uint16_t magic = Read16(file, optional);
  if (magic != 0x10B && magic != 0x20B) return {};
  // The data directories follow the fixed part of the optional header, 8 bytes each.
  const std::size_t entry = optional + (magic == 0x20B ? 112 : 96) + 8 * index;
  if (entry + 8 > optional + optionalSize) return {};
  return DirectoryEntry{Read32(file, entry), Read32(file, entry + 4), optional + optionalSize,
                        sectionCount};
}

// Where a data directory of the optional header points: its entry, and the file offset its
// address maps to; none when the file has no such directory.
struct Directory {
  DirectoryEntry entry;
  std::size_t offset = 0;
};

std::optional<Directory> FindDirectory(std::span<const std::uint8_t> file, std::size_t index) {
  const auto entry = ReadDirectoryEntry(file, index);
  if (!entry || entry->address == 0) return {};
  const auto offset = FileOffsetOf(file, entry->sections, entry->sectionCount, entry->address);
  if (!offset) return {};
  return Directory{*entry, *offset};
}

// The entry of resource directory `directory` (a file offset) with the numeric `id`: its
// offset field, or none. Named entries come first and are skipped.
std::optional<std::uint32_t> ResourceEntry(std::span<const std::uint8_t> file,
                                           std::size_t directory, std::uint16_t id) {
  constexpr std::size_t kHeaderSize = 16;
  constexpr std::size_t kEntrySize = 8;
  if (directory + kHeaderSize > file.size()) return {};
  const std::size_t named = Read16(file, directory + 12);
  const std::size_t numbered = Read16(file, directory + 14);
  for (std::size_t i = named; i < named + numbered; ++i) {
    const std::size_t at = directory + kHeaderSize + i * kEntrySize;
    if (at + kEntrySize > file.size()) return {};
    if (Read32(file, at) == id) return Read32(file, at + 4);
  }
  return {};
}

constexpr std::uint32_t kSubdirectory = 0x80000000u;

// The resource directory of the process manifest's languages (resource 1 of type RT_MANIFEST):
// the resource root and the languages' directory, both file offsets.
struct ManifestLanguages {
  Directory root;
  std::size_t languages = 0;
};

std::optional<ManifestLanguages> FindManifestLanguages(std::span<const std::uint8_t> file,
                                                       bool nameMayBeData) {
  constexpr std::size_t kResourceDirectory = 2;
  constexpr std::uint16_t kManifestType = 24;  // RT_MANIFEST
  constexpr std::uint16_t kProcessManifest = 1;
  const auto root = FindDirectory(file, kResourceDirectory);
  if (!root) return {};
  // Type, name, then language: offsets with the high bit set lead to a subdirectory, relative to
  // the root.
  const auto type = ResourceEntry(file, root->offset, kManifestType);
  if (!type || (*type & kSubdirectory) == 0) return {};
  const std::size_t names = root->offset + (*type & ~kSubdirectory);
  const auto name = ResourceEntry(file, names, kProcessManifest);
  if (!name || (!nameMayBeData && (*name & kSubdirectory) == 0)) return {};
  return ManifestLanguages{*root, root->offset + (*name & ~kSubdirectory)};
}

}  // namespace

bool HasEmbeddedManifest(std::span<const std::uint8_t> file) {
  return FindManifestLanguages(file, true).has_value();
}

std::optional<EmbeddedManifest> ReadEmbeddedManifest(std::span<const std::uint8_t> file) {
  const auto found = FindManifestLanguages(file, false);
  if (!found) return {};
  const std::size_t languages = found->languages;
  if (languages + 24 > file.size()) return {};
  EmbeddedManifest manifest;
  manifest.languageCount = std::size_t{Read16(file, languages + 12)} + Read16(file, languages + 14);
  if (manifest.languageCount == 0) return {};
  manifest.language = Read16(file, languages + 16);
  // The first language's entry leads to a data entry: the data's address, then its size.
  const std::uint32_t data = Read32(file, languages + 20);
  if ((data & kSubdirectory) != 0) return {};
  const std::size_t entry = found->root.offset + data;
  if (entry + 8 > file.size()) return {};
  const std::uint32_t size = Read32(file, entry + 4);
  const auto offset = FileOffsetOf(file, found->root.entry.sections, found->root.entry.sectionCount,
                                   Read32(file, entry));
  if (!offset || size > file.size() - *offset) return {};
  manifest.bytes.assign(file.begin() + static_cast<std::ptrdiff_t>(*offset),
                        file.begin() + static_cast<std::ptrdiff_t>(*offset + size));
  return manifest;
}

bool HasSignature(std::span<const std::uint8_t> file) {
  // The security directory's address is a file offset, not mapped through the sections.
  constexpr std::size_t kSecurityDirectory = 4;
  const auto entry = ReadDirectoryEntry(file, kSecurityDirectory);
  return entry && entry->address != 0 && entry->size != 0;
}

std::vector<std::string> ImportedModules(std::span<const std::uint8_t> file) {
  std::vector<std::string> modules;
  constexpr std::size_t kImportDirectory = 1;
  const auto imports = FindDirectory(file, kImportDirectory);
  if (!imports) return modules;
  const std::size_t sections = imports->entry.sections;
  const std::size_t sectionCount = imports->entry.sectionCount;
  constexpr std::size_t kDescriptorSize = 20;
  for (std::size_t at = imports->offset;
       at + kDescriptorSize <= file.size() && modules.size() < 4096; at += kDescriptorSize) {
    const std::uint32_t nameRva = Read32(file, at + 12);
    if (nameRva == 0) break;
    const auto name = FileOffsetOf(file, sections, sectionCount, nameRva);
    if (!name) break;
    std::string text;
    for (std::size_t i = *name; i < file.size() && file[i] != 0 && text.size() < 260; ++i) {
      text += static_cast<char>(file[i]);
    }
    modules.push_back(std::move(text));
  }
  return modules;
}

PeHeader ReadPeHeader(std::span<const std::uint8_t> file) {
  PeHeader header;
  const auto peOffset = PeOffset(file);
  if (!peOffset) return header;
  header.machine = Read16(file, *peOffset + 4);
  switch (header.machine) {
    case kMachineI386:
      header.status = PeStatus::Ok;
      header.architecture = Architecture::X86;
      break;
    case kMachineAmd64:
      header.status = PeStatus::Ok;
      header.architecture = Architecture::Amd64;
      break;
    default:
      header.status = PeStatus::UnsupportedMachine;
  }
  return header;
}

}  // namespace kestrelwing::regsvr42
