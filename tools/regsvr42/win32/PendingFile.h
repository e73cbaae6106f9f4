// A document written beside its destination first and moved over it only when complete, so a
// failure never leaves a half-written or changed file behind.
#pragma once

#include <kestrelwing/cXml.h>

#include <string>

namespace kestrelwing::regsvr42 {

class PendingFile {
 public:
  // Saves `document` (UTF-8, declaration, four-space indentation) to a temporary file beside
  // `destination`. Throws Failure(WriteFailed).
  PendingFile(cXml& document, std::wstring destination);
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  PendingFile(PendingFile&& other) noexcept;
  PendingFile& operator=(PendingFile&&) = delete;
  ~PendingFile();  // removes the temporary file unless committed

  // Replaces the destination with the written file. Throws Failure(WriteFailed).
  void Commit();
  const std::wstring& Destination() const { return destination_; }

 private:
  std::wstring destination_;
  std::wstring temporary_;
};

}  // namespace kestrelwing::regsvr42
