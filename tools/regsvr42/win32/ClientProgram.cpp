#include "ClientProgram.h"

#include <windows.h>

#include "ComponentFile.h"
#include "Failure.h"
#include "SafeFile.h"
#include "SystemInfo.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {
namespace {

// The file `writer` was asked for, complete and closed, holding `bytes`.
void WriteWhole(platform::SafeFileWriter& writer, const std::wstring& destination,
                std::string_view bytes) {
  if (!writer.Open(FromWide(destination)) || !writer.Write(bytes) || !writer.Finish()) {
    throw Failure(ExitCode::WriteFailed,
                  u"cannot write " + FromWide(destination) + u": " + writer.Error());
  }
}

// Replaces the manifest resource of the file at `path` with `manifest`, in `language`.
std::optional<std::u16string> UpdateManifestResource(const std::wstring& path,
                                                     std::uint16_t language,
                                                     std::string_view manifest) {
  const HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
  if (update == nullptr) return DescribeError(GetLastError());
  if (!UpdateResourceW(update, RT_MANIFEST, MAKEINTRESOURCEW(1), language,
                       const_cast<char*>(manifest.data()), static_cast<DWORD>(manifest.size()))) {
    const DWORD error = GetLastError();
    EndUpdateResourceW(update, TRUE);
    return DescribeError(error);
  }
  if (!EndUpdateResourceW(update, FALSE)) return DescribeError(GetLastError());
  return std::nullopt;
}

}  // namespace

EmbeddedManifestUpdate::EmbeddedManifestUpdate(std::wstring program,
                                               std::vector<std::uint8_t> bytes)
    : program_(std::move(program)), bytes_(std::move(bytes)) {
  const std::u16string name = FromWide(program_);
  if (HasSignature(bytes_)) {
    throw Failure(ExitCode::ClientHasManifest,
                  name +
                      u" is digitally signed: changing the manifest embedded in it would "
                      u"break the signature, so nothing was written (add the dependency before "
                      u"the program is signed)");
  }
  auto embedded = ReadEmbeddedManifest(bytes_);
  if (!embedded) {
    throw Failure(ExitCode::WriteFailed, u"the manifest embedded in " + name +
                                             u" cannot be read: its resource lies "
                                             u"outside the file");
  }
  // Windows picks among languages by the user's settings; one changed alone would leave the others.
  if (embedded->languageCount != 1) {
    throw Failure(ExitCode::ClientHasManifest,
                  name + u" holds its embedded manifest in " + Decimal(embedded->languageCount) +
                      u" languages; -embed changes a program with one, so nothing was written");
  }
  embedded_ = std::move(*embedded);
}

EmbeddedManifestUpdate::~EmbeddedManifestUpdate() = default;

void EmbeddedManifestUpdate::Prepare(std::string_view manifest) {
  copy_ = std::make_unique<platform::SafeFileWriter>();
  WriteWhole(*copy_, program_,
             std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()));
  const std::wstring copy = ToWide(copy_->PendingPath());
  const std::u16string name = FromWide(program_);
  if (const auto failure = UpdateManifestResource(copy, embedded_.language, manifest)) {
    throw Failure(ExitCode::WriteFailed,
                  u"cannot write the manifest into a copy of " + name + u": " + *failure);
  }
  // The copy is read back: it must be a program of the same machine holding exactly `manifest`.
  const std::vector<std::uint8_t> written = ReadFileOrFail(copy);
  const auto stored = ReadEmbeddedManifest(written);
  if (ReadPeHeader(written).machine != ReadPeHeader(bytes_).machine || !stored ||
      std::string_view(reinterpret_cast<const char*>(stored->bytes.data()), stored->bytes.size()) !=
          manifest) {
    throw Failure(ExitCode::WriteFailed,
                  u"the copy of " + name + u" does not hold the manifest written into it");
  }
  if (const auto failure = RenewLastWriteTime(copy)) {
    throw Failure(ExitCode::WriteFailed, *failure);
  }
  manifestFile_ = std::make_unique<platform::SafeFileWriter>();
  WriteWhole(*manifestFile_, program_ + L".manifest", manifest);
}

std::wstring EmbeddedManifestUpdate::ManifestFile() const {
  return manifestFile_ ? ToWide(manifestFile_->PendingPath()) : std::wstring();
}

void EmbeddedManifestUpdate::Commit() {
  if (!copy_ || !copy_->Replace()) {
    throw Failure(ExitCode::WriteFailed,
                  u"cannot replace " + FromWide(program_) + u": " +
                      (copy_ ? copy_->Error() : std::u16string(u"no copy was prepared")));
  }
}

std::optional<std::u16string> RenewLastWriteTime(const std::wstring& program) {
  const UniqueHandle file =
      OwnFileHandle(CreateFileW(program.c_str(), FILE_WRITE_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  if (!file || !SetFileTime(file.get(), nullptr, nullptr, &now)) {
    return u"cannot set the last-write time of " + FromWide(program) + u" (" +
           DescribeError(GetLastError()) + u")";
  }
  return std::nullopt;
}

}  // namespace kestrelwing::regsvr42
