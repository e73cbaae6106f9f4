#include "PendingFile.h"

#include <windows.h>

#include "Failure.h"
#include "SystemInfo.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr std::int32_t kFourSpaces = 0;
constexpr std::int32_t kUtf8 = 1;

}  // namespace

PendingFile::PendingFile(cXml& document, std::wstring destination)
    : destination_(std::move(destination)),
      temporary_(destination_ + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp") {
  if (!document.Save(FromWide(temporary_), true, kFourSpaces, false, kUtf8)) {
    DeleteFileW(temporary_.c_str());
    throw Failure(ExitCode::WriteFailed,
                  u"cannot write " + FromWide(destination_) + u": " + document.Result());
  }
}

PendingFile::PendingFile(PendingFile&& other) noexcept
    : destination_(std::move(other.destination_)), temporary_(std::move(other.temporary_)) {
  other.temporary_.clear();
}

PendingFile::~PendingFile() {
  if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
}

void PendingFile::Commit() {
  if (!MoveFileExW(temporary_.c_str(), destination_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw Failure(ExitCode::WriteFailed, u"cannot replace " + FromWide(destination_) + u" (" +
                                             DescribeError(GetLastError()) + u")");
  }
  temporary_.clear();
}

}  // namespace kestrelwing::regsvr42
