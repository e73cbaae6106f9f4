#include "SystemText.h"

#include "Paths.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {

std::u16string SystemText(DWORD code) {
  wchar_t* message = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = length != 0 && message != nullptr ? std::wstring(message, length) : L"";
  LocalFree(message);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.pop_back();
  }
  return ToU16(text);
}

std::u16string DescribeError(DWORD error) {
  const std::u16string text = SystemText(error);
  return u"error " + ToU16(std::to_wstring(error)) + (text.empty() ? u"" : u": " + text);
}

std::u16string DescribeHresult(HRESULT hr) {
  const std::u16string text = SystemText(static_cast<DWORD>(hr));
  return HexCode(static_cast<std::uint32_t>(hr)) + (text.empty() ? u"" : u" (" + text + u")");
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (needed == 0 || length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

std::wstring ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return FolderOf(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace kestrelwing::regsvr42
