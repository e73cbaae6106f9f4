// Wide text as UTF-8, for the test programs' output files and standard output.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

inline std::string Utf8(std::wstring_view text) {
  const int length = static_cast<int>(text.size());
  std::string utf8(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), length,
                                                                nullptr, 0, nullptr, nullptr)),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), static_cast<int>(utf8.size()),
                      nullptr, nullptr);
  return utf8;
}
