// Files on Windows: the wide (W) functions for every path.
#include <windows.h>

#include <algorithm>
#include <string>

#include "FileContents.h"
#include "FileSystemShared.h"
#include "SafeFile.h"
#include "SystemInfo.h"
#include "Win32Handles.h"

namespace kestrelwing::platform {
namespace {

// A NUL-terminated wide string for the system; none when text cannot name a file (empty, or
// holding a NUL that would cut it short).
std::optional<std::wstring> Wide(std::u16string_view text) {
  if (text.empty() || text.find(u'\0') != std::u16string_view::npos) return std::nullopt;
  return std::wstring(text.begin(), text.end());
}

std::u16string Describe(std::u16string_view what, std::u16string_view path, DWORD error) {
  return shared::Describe(what, path, ErrorText(error));
}

}  // namespace

bool FileExists(std::u16string_view path) {
  const auto wide = Wide(path);
  return wide && GetFileAttributesW(wide->c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(std::u16string_view path) {
  const auto wide = Wide(path);
  if (!wide) return std::nullopt;
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open.
  const UniqueHandle file = OwnFileHandle(CreateFileW(
      wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size;
  if (GetFileType(file.get()) != FILE_TYPE_DISK || !GetFileSizeEx(file.get(), &size) ||
      static_cast<unsigned long long>(size.QuadPart) > std::vector<std::uint8_t>().max_size()) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size.QuadPart));
  std::size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(filled + std::max<std::size_t>(filled / 2, 4096));
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file.get(), bytes.data() + filled, wanted, &got, nullptr)) return std::nullopt;
    if (got == 0) break;  // the file may have grown or shrunk since its size was taken
    filled += got;
  }
  bytes.resize(filled);
  return bytes;
}

// SafeFileWriter ---------------------------------------------------------------------------------

namespace {

HANDLE AsHandle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool SafeFileWriter::Open(std::u16string_view path) {
  Abandon();
  error_.clear();
  path_ = path;
  const auto wide = Wide(path);
  if (!wide || FileNameStart(path, kSystemSeparators) == path.size()) {
    error_ = u"Invalid file name \"" + path_ + u"\"";
    return false;
  }
  const DWORD attributes = GetFileAttributesW(wide->c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error_ = u"\"" + path_ + u"\" is a folder";
    return false;
  }
  // Windows refuses to replace a read-only file; say so before anything is written.
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    error_ = Describe(u"Cannot write", path_, ERROR_ACCESS_DENIED);
    return false;
  }
  DWORD error = ERROR_FILE_EXISTS;
  for (int attempt = 0; attempt < 16 && error == ERROR_FILE_EXISTS; ++attempt) {
    tempPath_ = shared::TemporaryNameBeside(path_);
    const std::wstring temp(tempPath_.begin(), tempPath_.end());
    const HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(file);
      return true;
    }
    error = GetLastError();
  }
  tempPath_.clear();
  error_ = Describe(u"Cannot create", path_, error);
  return false;
}

bool SafeFileWriter::Write(std::string_view bytes) {
  if (handle_ == -1) return OutOfTurn(u"No file is open for writing");
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD written = 0;
    const BOOL ok = WriteFile(AsHandle(handle_), bytes.data(), chunk, &written, nullptr);
    if (!ok || written == 0) {
      // A write that stores nothing without an error means the disk is full.
      return Fail(Describe(u"Cannot write", path_, ok ? ERROR_DISK_FULL : GetLastError()));
    }
    bytes.remove_prefix(written);
  }
  return true;
}

bool SafeFileWriter::Finish() {
  if (handle_ == -1) return OutOfTurn(u"No file is open for writing");
  const HANDLE file = AsHandle(handle_);
  if (!FlushFileBuffers(file)) return Fail(Describe(u"Cannot write", path_, GetLastError()));
  handle_ = -1;
  if (!CloseHandle(file)) return Fail(Describe(u"Cannot write", path_, GetLastError()));
  return true;
}

bool SafeFileWriter::Replace() {
  if (handle_ != -1 || tempPath_.empty()) return OutOfTurn(u"No finished file to put in place");
  const std::wstring temp(tempPath_.begin(), tempPath_.end());
  const std::wstring target(path_.begin(), path_.end());
  if (!MoveFileExW(temp.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Fail(Describe(u"Cannot replace", path_, GetLastError()));
  }
  tempPath_.clear();
  return true;
}

void SafeFileWriter::Abandon() {
  if (handle_ != -1) {
    CloseHandle(AsHandle(handle_));
    handle_ = -1;
  }
  if (!tempPath_.empty()) {
    const std::wstring temp(tempPath_.begin(), tempPath_.end());
    DeleteFileW(temp.c_str());
    tempPath_.clear();
  }
}

}  // namespace kestrelwing::platform
