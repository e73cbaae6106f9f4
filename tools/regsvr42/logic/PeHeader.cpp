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

}  // namespace

std::vector<std::string> ImportedModules(std::span<const std::uint8_t> file) {
  std::vector<std::string> modules;
  const auto pe = PeOffset(file);
  if (!pe) return modules;
  const std::size_t fileHeader = *pe + 4;
  const std::size_t sectionCount = Read16(file, fileHeader + 2);
  const std::size_t optionalSize = Read16(file, fileHeader + 16);
  const std::size_t optional = fileHeader + 20;
  if (optional + optionalSize > file.size() || optionalSize < 2) return modules;
  const std::uint16_t magic = Read16(file, optional);
  // The data directories follow the fixed part of the optional header; import is entry 1.
  const std::size_t directories = optional + (magic == 0x20B ? 112 : 96);
  const std::size_t importEntry = directories + 8;
  if (magic != 0x10B && magic != 0x20B) return modules;
  if (importEntry + 8 > optional + optionalSize) return modules;
  const std::uint32_t importRva = Read32(file, importEntry);
  if (importRva == 0) return modules;
  const std::size_t sections = optional + optionalSize;
  auto descriptor = FileOffsetOf(file, sections, sectionCount, importRva);
  constexpr std::size_t kDescriptorSize = 20;
  for (std::size_t at = descriptor.value_or(file.size());
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
