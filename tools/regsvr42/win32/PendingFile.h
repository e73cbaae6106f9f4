// The generator's manifests, each written to a new file beside its destination first and all put
// in place together only once every one is complete (platform::FileBatch): a failure while writing
// leaves every destination as it was. (A replacement that fails after others succeeded cannot undo
// them; see platform::CommitAll.)
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "SafeFile.h"

namespace kestrelwing::regsvr42 {

class PendingFiles {
 public:
  PendingFiles() = default;  // the new files go again unless committed
  PendingFiles(const PendingFiles&) = delete;
  PendingFiles& operator=(const PendingFiles&) = delete;

  // Writes a manifest's bytes to a new file with an unpredictable name beside `destination`.
  // Throws Failure(WriteFailed).
  void Add(std::string_view bytes, std::wstring destination);

  // Closes every new file, complete, so that another process may read it before it is put in
  // place; answers their paths in the order of Destinations(). Throws Failure(WriteFailed).
  std::vector<std::wstring> Finish();

  // Replaces every destination with its new file. Throws Failure(WriteFailed).
  void Commit();

  const std::vector<std::wstring>& Destinations() const { return destinations_; }

 private:
  platform::FileBatch files_;
  std::vector<std::wstring> destinations_;
};

}  // namespace kestrelwing::regsvr42
