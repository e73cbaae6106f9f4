// What the POSIX and the Win32 safe file writers share: putting several files in place together.
#include "SafeFile.h"

namespace kestrelwing::platform {

bool CommitAll(std::span<SafeFileWriter* const> files, std::u16string& error) {
  const auto giveUp = [&](SafeFileWriter& failed) {
    error = failed.Error();
    for (SafeFileWriter* file : files)
      file->Abandon();
    return false;
  };
  for (SafeFileWriter* file : files) {
    if (!file->Finished() && !file->Finish()) return giveUp(*file);
  }
  for (SafeFileWriter* file : files) {
    if (!file->Replace()) return giveUp(*file);
  }
  return true;
}

bool FileBatch::Add(std::u16string_view path, std::string_view bytes) {
  auto file = std::make_unique<SafeFileWriter>();
  if (!file->Open(path) || !file->Write(bytes)) {
    error_ = file->Error();
    return false;
  }
  files_.push_back(std::move(file));
  return true;
}

std::vector<std::u16string> FileBatch::Finish() {
  std::vector<std::u16string> paths;
  for (const auto& file : files_) {
    if (!file->Finished() && !file->Finish()) {
      error_ = file->Error();
      return {};
    }
    paths.push_back(file->PendingPath());
  }
  return paths;
}

bool FileBatch::Commit() {
  std::vector<SafeFileWriter*> files;
  for (const auto& file : files_)
    files.push_back(file.get());
  return CommitAll(files, error_);
}

}  // namespace kestrelwing::platform
