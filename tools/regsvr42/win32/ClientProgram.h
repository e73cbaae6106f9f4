// What the generator changes in a client program itself: the manifest it carries as resource 1 of
// type RT_MANIFEST, and its last-write time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PeHeader.h"

namespace kestrelwing::platform {
class SafeFileWriter;
}

namespace kestrelwing::regsvr42 {

// The program's embedded manifest, written back into a copy of the program beside it that then
// takes the program's place in one step; the program stays as it was until then.
class EmbeddedManifestUpdate {
 public:
  // Reads the manifest embedded in `program`, whose bytes are `bytes`. Throws
  // Failure(ClientHasManifest) for a signed program (any change breaks its signature) and for one
  // holding its manifest in several languages, Failure(WriteFailed) when the manifest cannot be
  // read.
  EmbeddedManifestUpdate(std::wstring program, std::vector<std::uint8_t> bytes);
  ~EmbeddedManifestUpdate();  // removes the copy unless committed
  EmbeddedManifestUpdate(const EmbeddedManifestUpdate&) = delete;
  EmbeddedManifestUpdate& operator=(const EmbeddedManifestUpdate&) = delete;

  const std::vector<std::uint8_t>& Manifest() const { return embedded_.bytes; }
  const std::wstring& Program() const { return program_; }

  // Writes the copy, its resource replaced by `manifest` in the same language, and a file of
  // `manifest` alone for whoever needs the manifest as a file (both closed, complete). Throws
  // Failure(WriteFailed).
  void Prepare(std::string_view manifest);
  std::wstring ManifestFile() const;

  // Puts the copy in the program's place. Throws Failure(WriteFailed).
  void Commit();

 private:
  std::wstring program_;
  std::vector<std::uint8_t> bytes_;
  EmbeddedManifest embedded_;
  std::unique_ptr<platform::SafeFileWriter> copy_;
  std::unique_ptr<platform::SafeFileWriter> manifestFile_;
};

// Sets the program's last-write time to now. Windows may go on using an activation context it
// cached for a program until the program's file changes. Answers what failed, or none.
std::optional<std::u16string> RenewLastWriteTime(const std::wstring& program);

}  // namespace kestrelwing::regsvr42
