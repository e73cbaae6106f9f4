// UTF-16 text between the portable logic (std::u16string) and the wide Win32 API (wchar_t).
#pragma once

#include <string>
#include <string_view>

namespace kestrelwing {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

inline std::wstring ToWide(std::u16string_view text) {
  return {text.begin(), text.end()};
}
inline std::u16string FromWide(std::wstring_view text) {
  return {text.begin(), text.end()};
}

}  // namespace kestrelwing
