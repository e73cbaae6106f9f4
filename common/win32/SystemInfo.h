// What Windows says about errors, GUIDs, the running program and paths.
#pragma once

#include <windows.h>

#include <objbase.h>

#include <iterator>
#include <string>

#include "WideText.h"

namespace kestrelwing {

// The system's one-line description of an error code or HRESULT (from module's own messages when
// one is given, as WinHTTP keeps them); empty when it has none.
inline std::u16string SystemErrorText(DWORD code, HMODULE module = nullptr) {
  wchar_t* buffer = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      FORMAT_MESSAGE_FROM_SYSTEM | (module ? FORMAT_MESSAGE_FROM_HMODULE : 0);
  const DWORD length =
      FormatMessageW(flags, module, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::u16string text = length != 0 && buffer != nullptr ? FromWide({buffer, length}) : u"";
  LocalFree(buffer);
  for (char16_t& c : text) {
    if (c == u'\r' || c == u'\n') c = u' ';
  }
  while (!text.empty() && (text.back() == u' ' || text.back() == u'.'))
    text.pop_back();
  return text;
}

// The system's text for an error code, or "error <n>" when it has none.
inline std::u16string ErrorText(DWORD error, HMODULE module = nullptr) {
  std::u16string text = SystemErrorText(error, module);
  return text.empty() ? u"error " + Decimal(error) : text;
}

// "error <n>: <description>" for a Win32 error code ("error <n>" when the system has no text).
inline std::u16string DescribeError(DWORD error, HMODULE module = nullptr) {
  const std::u16string text = SystemErrorText(error, module);
  return u"error " + Decimal(error) + (text.empty() ? u"" : u": " + text);
}

// "0x<8 digits> (<description>)" for an HRESULT.
inline std::u16string DescribeHresult(HRESULT hr) {
  const std::u16string text = SystemErrorText(static_cast<DWORD>(hr));
  return HexCode(static_cast<std::uint32_t>(hr)) + (text.empty() ? u"" : u" (" + text + u")");
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as the registry and manifests write a GUID.
inline std::u16string GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
  return FromWide(text);
}

// The absolute form of a path; the path itself when the system cannot make one.
inline std::wstring FullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (needed == 0 || length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

// The full path of the running program, however long.
inline std::wstring ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace kestrelwing
