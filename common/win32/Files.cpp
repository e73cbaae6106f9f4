#include "Files.h"

#include <windows.h>

#include "AsciiCase.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace kestrelwing {

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring FileNameUpper(const std::wstring& path) {
  const int length = static_cast<int>(path.size());
  std::wstring upper(path.size(), L'\0');
  if (length == 0 || LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, path.c_str(), length,
                                   upper.data(), length, nullptr, nullptr, 0) != length) {
    return ToWide(AsciiUpper(FromWide(path)));
  }
  return upper;
}

std::optional<FileStamp> StampOf(const std::wstring& path) {
  // No access asked for: the stamp can be read while another program writes or renames the file.
  const UniqueHandle file = OwnFileHandle(
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  BY_HANDLE_FILE_INFORMATION information;
  if (!file || !GetFileInformationByHandle(file.get(), &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  FileStamp stamp;
  stamp.volume = information.dwVolumeSerialNumber;
  stamp.fileIndex = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  stamp.lastWrite = (std::uint64_t{information.ftLastWriteTime.dwHighDateTime} << 32) |
                    information.ftLastWriteTime.dwLowDateTime;
  return stamp;
}

}  // namespace kestrelwing
