// The readers and the writer have two paths: SSE2 code, sixteen bytes a step, and the portable
// code beside it, a unit at a time. These helpers read and save one document on each and tell the
// first way in which the two differ.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <kestrelwing/cXml.h>

namespace kestrelwing::testing {

// Chooses the wide (SSE2) or the portable paths for as long as it lives, then restores the choice
// it found, also when a test fails or throws on the way.
class ScanningPaths {
 public:
  explicit ScanningPaths(bool wide);
  ~ScanningPaths();
  ScanningPaths(const ScanningPaths&) = delete;
  ScanningPaths& operator=(const ScanningPaths&) = delete;

  // The choice in force: true for the wide paths (where they are compiled in).
  static bool Wide();

 private:
  bool previous_;
};

// One document read on one path, and what saving it on that path wrote.
struct PathReading {
  cXml document;
  bool parsed = false;
  std::u16string result;       // Result() after Parse
  std::int32_t encoding = -1;  // EncodingId() after Parse
  // Compact in the encoding read, pretty-printed in UTF-8, compact in UTF-16 and narrow: the
  // bytes, or "refused: " and Result() for a save that failed. Empty when the parse failed.
  std::vector<std::string> saves;
};

// Parses bytes in syntax with the paths chosen (wide or portable); the saves stay empty.
void ParseOnPath(std::span<const std::uint8_t> bytes, XmlSyntax syntax, bool wide,
                 PathReading& reading);
// Saves a parsed document in the ways PathReading lists, with the paths chosen.
void SaveOnPath(bool wide, PathReading& reading);

// The first difference between two readings (acceptance, Result(), encoding, the declaration, the
// root's tree, the prolog and epilog, the bytes of each save), or empty. In a tree's difference
// (TreeDiff.h) the portable reading is the actual one and the wide reading the one "expected".
std::string CompareReadings(const PathReading& wide, const PathReading& portable);

// All of the above: the bytes parsed on the wide paths and on the portable ones, the two readings
// compared, then each saved on its own paths and compared again.
std::string CompareScanningPaths(std::span<const std::uint8_t> bytes, XmlSyntax syntax);

}  // namespace kestrelwing::testing
