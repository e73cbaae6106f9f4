#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "PeHeader.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr std::size_t kPeOffset = 0x80;
constexpr std::size_t kSectionRaw = 0x400;
constexpr std::uint32_t kSectionRva = 0x2000;

void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
  bytes[at] = static_cast<std::uint8_t>(value);
  bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  Put16(bytes, at, static_cast<std::uint16_t>(value));
  Put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

// A PE image with one section holding an import directory that names `imports`.
std::vector<std::uint8_t> Image(std::uint16_t machine, const std::vector<std::string>& imports) {
  std::vector<std::uint8_t> bytes(kSectionRaw + 0x200, 0);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(bytes, 0x3C, kPeOffset);
  bytes[kPeOffset] = 'P';
  bytes[kPeOffset + 1] = 'E';
  const std::size_t fileHeader = kPeOffset + 4;
  Put16(bytes, fileHeader, machine);
  Put16(bytes, fileHeader + 2, 1);  // one section
  const bool wide = machine == 0x8664;
  const std::uint16_t optionalSize = wide ? 240 : 224;
  Put16(bytes, fileHeader + 16, optionalSize);
  const std::size_t optional = fileHeader + 20;
  Put16(bytes, optional, wide ? 0x20B : 0x10B);
  const std::size_t importEntry = optional + (wide ? 112 : 96) + 8;
  Put32(bytes, importEntry, imports.empty() ? 0 : kSectionRva);
  const std::size_t section = optional + optionalSize;
  Put32(bytes, section + 8, 0x200);         // virtual size
  Put32(bytes, section + 12, kSectionRva);  // virtual address
  Put32(bytes, section + 16, 0x200);        // raw size
  Put32(bytes, section + 20, kSectionRaw);  // raw pointer
  // Descriptors (20 bytes each, the last all zero), then the names.
  std::size_t name = kSectionRaw + 20 * (imports.size() + 1);
  for (std::size_t i = 0; i < imports.size(); ++i) {
    Put32(bytes, kSectionRaw + 20 * i + 12,
          static_cast<std::uint32_t>(kSectionRva + (name - kSectionRaw)));
    for (char c : imports[i])
      bytes[name++] = static_cast<std::uint8_t>(c);
    bytes[name++] = 0;
  }
  return bytes;
}

TEST(PeHeader, TellsTheArchitectureFromTheMachine) {
  const PeHeader x86 = ReadPeHeader(Image(0x014C, {}));
  EXPECT_EQ(x86.status, PeStatus::Ok);
  EXPECT_EQ(x86.architecture, Architecture::X86);
  const PeHeader amd64 = ReadPeHeader(Image(0x8664, {}));
  EXPECT_EQ(amd64.status, PeStatus::Ok);
  EXPECT_EQ(amd64.architecture, Architecture::Amd64);
  const PeHeader arm64 = ReadPeHeader(Image(0xAA64, {}));
  EXPECT_EQ(arm64.status, PeStatus::UnsupportedMachine);
  EXPECT_EQ(arm64.machine, 0xAA64);
}

TEST(PeHeader, RejectsFilesThatAreNoPeImage) {
  const std::string text = "not a program at all, just some words in a file";
  EXPECT_EQ(ReadPeHeader(std::vector<std::uint8_t>(text.begin(), text.end())).status,
            PeStatus::NotPe);
  EXPECT_EQ(ReadPeHeader({}).status, PeStatus::NotPe);

  std::vector<std::uint8_t> farOffset = Image(0x8664, {});
  Put32(farOffset, 0x3C, 0xFFFFFFF0u);  // beyond the end: no read outside the file
  EXPECT_EQ(ReadPeHeader(farOffset).status, PeStatus::NotPe);

  std::vector<std::uint8_t> badSignature = Image(0x8664, {});
  badSignature[kPeOffset + 1] = 'X';
  EXPECT_EQ(ReadPeHeader(badSignature).status, PeStatus::NotPe);

  std::vector<std::uint8_t> cut = Image(0x8664, {});
  cut.resize(kPeOffset + 5);  // the signature, but not the whole file header
  EXPECT_EQ(ReadPeHeader(cut).status, PeStatus::NotPe);
}

TEST(PeHeader, ListsImportedModulesInTableOrder) {
  EXPECT_EQ(ImportedModules(Image(0x8664, {"KERNEL32.dll", "KwTestAbsent.dll"})),
            (std::vector<std::string>{"KERNEL32.dll", "KwTestAbsent.dll"}));
  EXPECT_EQ(ImportedModules(Image(0x014C, {"OLEAUT32.dll"})),
            std::vector<std::string>{"OLEAUT32.dll"});
  EXPECT_TRUE(ImportedModules(Image(0x8664, {})).empty());
}

TEST(PeHeader, DamagedImportTablesGiveNoNamesAndNoOverrun) {
  std::vector<std::uint8_t> outsideSections = Image(0x8664, {"A.dll"});
  Put32(outsideSections, kPeOffset + 24 + 112 + 8, 0x90000);  // import RVA no section maps
  EXPECT_TRUE(ImportedModules(outsideSections).empty());

  std::vector<std::uint8_t> truncated = Image(0x8664, {"A.dll", "B.dll"});
  truncated.resize(kSectionRaw + 30);  // the first descriptor, not the names
  EXPECT_TRUE(ImportedModules(truncated).empty());

  std::vector<std::uint8_t> unterminated = Image(0x014C, {"A.dll"});
  std::fill(unterminated.begin() + kSectionRaw + 40, unterminated.end(), 'x');
  const std::vector<std::string> names = ImportedModules(unterminated);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_LE(names[0].size(), 260u);
}

// An image whose resource directory (in its one section, after the imports) holds one type with
// one name, or `named` unnamed-by-number entries first; raw offsets may point anywhere.
struct Resources {
  std::uint32_t type = 24;
  std::uint32_t name = 1;
  bool typeIsDirectory = true;
  std::uint16_t named = 0;
  std::uint16_t numbered = 1;
  std::uint32_t nameDirectory = 0x40;  // offset from the root
  std::uint16_t languages = 1;
  std::uint32_t dataSize = 0;  // of the manifest's data; 0 for the length of `manifest`
};

constexpr char kManifestText[] = "<assembly manifestVersion=\"1.0\"/>";

std::vector<std::uint8_t> WithResources(std::uint16_t machine, const Resources& resources) {
  std::vector<std::uint8_t> bytes = Image(machine, {});
  const bool wide = machine == 0x8664;
  const std::size_t resourceEntry = kPeOffset + 24 + (wide ? 112 : 96) + 16;
  constexpr std::size_t kRoot = kSectionRaw + 0x100;
  Put32(bytes, resourceEntry, kSectionRva + 0x100);
  Put16(bytes, kRoot + 12, resources.named);
  Put16(bytes, kRoot + 14, resources.numbered);
  const std::size_t typeEntry = kRoot + 16 + 8 * resources.named;
  if (typeEntry + 8 <= bytes.size()) {
    Put32(bytes, typeEntry, resources.type);
    Put32(bytes, typeEntry + 4,
          resources.nameDirectory | (resources.typeIsDirectory ? 0x80000000u : 0));
  }
  Put16(bytes, kRoot + 0x40 + 14, 1);
  Put32(bytes, kRoot + 0x40 + 16, resources.name);
  Put32(bytes, kRoot + 0x40 + 20, 0x80000080u);  // the language directory
  Put16(bytes, kRoot + 0x80 + 14, resources.languages);
  Put32(bytes, kRoot + 0x80 + 16, 0x409);
  Put32(bytes, kRoot + 0x80 + 20, 0xA0);  // the data entry
  const std::string text = kManifestText;
  Put32(bytes, kRoot + 0xA0, kSectionRva + 0x100 + 0xB0);
  Put32(bytes, kRoot + 0xA4,
        resources.dataSize != 0 ? resources.dataSize : static_cast<std::uint32_t>(text.size()));
  std::copy(text.begin(), text.end(), bytes.begin() + kRoot + 0xB0);
  return bytes;
}

TEST(PeHeader, FindsAManifestEmbeddedForTheProcess) {
  struct Row {
    const char* what;
    std::uint16_t machine;
    Resources resources;
    bool embedded;
  };
  const std::vector<Row> rows = {
      {"RT_MANIFEST 1", 0x014C, {}, true},
      {"RT_MANIFEST 1, 64-bit", 0x8664, {}, true},
      {"after named entries", 0x014C, {24, 1, true, 2, 1}, true},
      {"RT_MANIFEST 2, a DLL's", 0x014C, {24, 2}, false},
      {"a version resource", 0x8664, {16, 1}, false},
      {"a type that is no directory", 0x014C, {24, 1, false}, false},
      {"a directory past the end", 0x014C, {24, 1, true, 0, 1, 0x7FFFFFF0u}, false},
      {"a count past the end", 0x014C, {25, 1, true, 0, 0xFFFF}, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(HasEmbeddedManifest(WithResources(row.machine, row.resources)), row.embedded)
        << row.what;
  }
  EXPECT_FALSE(HasEmbeddedManifest(Image(0x014C, {"KERNEL32.dll"})));  // no resources
  EXPECT_FALSE(HasEmbeddedManifest({}));
}

TEST(PeHeader, ReadsTheEmbeddedManifestsBytesWithinTheFile) {
  struct Row {
    const char* what;
    std::uint16_t machine;
    Resources resources;
    bool read;
  };
  const std::vector<Row> rows = {
      {"one language", 0x014C, {}, true},
      {"one language, 64-bit", 0x8664, {}, true},
      {"two languages", 0x8664, {.languages = 2}, true},
      {"no language", 0x014C, {.languages = 0}, false},
      {"data past the end", 0x014C, {.dataSize = 0x1000}, false},
      {"only RT_MANIFEST 2", 0x014C, {.name = 2}, false},
  };
  const std::string text = kManifestText;
  for (const Row& row : rows) {
    const auto manifest = ReadEmbeddedManifest(WithResources(row.machine, row.resources));
    ASSERT_EQ(manifest.has_value(), row.read) << row.what;
    if (!manifest) continue;
    EXPECT_EQ(std::string(manifest->bytes.begin(), manifest->bytes.end()), text) << row.what;
    EXPECT_EQ(manifest->language, 0x409) << row.what;
    EXPECT_EQ(manifest->languageCount, row.resources.languages) << row.what;
  }
  std::vector<std::uint8_t> cut = WithResources(0x014C, {});
  cut.resize(kSectionRaw + 0x100 + 0xB0 + 4);  // the data entry, only part of the data
  EXPECT_FALSE(ReadEmbeddedManifest(cut));
  EXPECT_FALSE(ReadEmbeddedManifest(Image(0x8664, {})));
}

TEST(PeHeader, ASecurityDirectoryMeansASignature) {
  struct Row {
    std::uint16_t machine;
    std::uint32_t address;
    std::uint32_t size;
    std::uint16_t optionalSize;  // 0 for the full header
    bool signed_;
  };
  const std::vector<Row> rows = {
      {0x014C, 0, 0, 0, false},           {0x8664, 0, 0, 0, false},
      {0x014C, 0x600, 0x238, 0, true},    {0x8664, 0x600, 0x238, 0, true},
      {0x8664, 0x600, 0, 0, false},       {0x014C, 0, 0x238, 0, false},
      {0x8664, 0x600, 0x238, 144, false},  // the header ends before the entry
  };
  for (const Row& row : rows) {
    std::vector<std::uint8_t> bytes = Image(row.machine, {});
    const std::size_t entry = kPeOffset + 24 + (row.machine == 0x8664 ? 112 : 96) + 32;
    Put32(bytes, entry, row.address);
    Put32(bytes, entry + 4, row.size);
    if (row.optionalSize != 0) Put16(bytes, kPeOffset + 4 + 16, row.optionalSize);
    EXPECT_EQ(HasSignature(bytes), row.signed_)
        << row.machine << " " << row.address << " " << row.size << " " << row.optionalSize;
  }
  EXPECT_FALSE(HasSignature({}));
}

}  // namespace
}  // namespace kestrelwing::regsvr42
