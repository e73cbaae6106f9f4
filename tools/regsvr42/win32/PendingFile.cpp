#include "PendingFile.h"

#include <string>
#include <string_view>
#include <vector>

#include "Failure.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {

void PendingFiles::Add(std::string_view bytes, std::wstring destination) {
  if (!files_.Add(FromWide(destination), bytes)) {
    throw Failure(ExitCode::WriteFailed,
                  u"cannot write " + FromWide(destination) + u": " + files_.Error());
  }
  destinations_.push_back(std::move(destination));
}

std::vector<std::wstring> PendingFiles::Finish() {
  const std::vector<std::u16string> finished = files_.Finish();
  if (finished.size() != destinations_.size()) {
    throw Failure(ExitCode::WriteFailed, u"cannot write the manifests: " + files_.Error());
  }
  std::vector<std::wstring> paths;
  for (const std::u16string& path : finished)
    paths.push_back(ToWide(path));
  return paths;
}

void PendingFiles::Commit() {
  if (!files_.Commit()) {
    throw Failure(ExitCode::WriteFailed, u"cannot write the manifests: " + files_.Error());
  }
}

}  // namespace kestrelwing::regsvr42
