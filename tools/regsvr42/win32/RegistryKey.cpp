#include "RegistryKey.h"

namespace kestrelwing::regsvr42 {

RegistryKey RegistryKey::Open(HKEY parent, const std::wstring& subkey) {
  HKEY handle = nullptr;
  if (parent == nullptr ||
      RegOpenKeyExW(parent, subkey.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) {
    return RegistryKey();
  }
  return RegistryKey(handle);
}

LSTATUS RegistryKey::Create(HKEY parent, const std::wstring& subkey, RegistryKey& key) {
  HKEY handle = nullptr;
  const LSTATUS status =
      RegCreateKeyExW(parent, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &handle, nullptr);
  if (status == ERROR_SUCCESS) key = RegistryKey(handle);
  return status;
}

std::optional<std::wstring> RegistryKey::String(const std::wstring& name) const {
  if (!handle_) return std::nullopt;
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(Handle(), name.c_str(), nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegQueryValueExW(Handle(), name.c_str(), nullptr, &type,
                       reinterpret_cast<BYTE*>(value.data()), &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(wcsnlen(value.c_str(), value.size()));
  if (type == REG_EXPAND_SZ) {
    const DWORD needed = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    std::wstring expanded(needed, L'\0');
    if (needed != 0 && ExpandEnvironmentStringsW(value.c_str(), expanded.data(), needed) != 0) {
      expanded.resize(wcsnlen(expanded.c_str(), expanded.size()));
      return expanded;
    }
  }
  return value;
}

std::vector<std::wstring> RegistryKey::SubkeyNames() const {
  std::vector<std::wstring> names;
  if (!handle_) return names;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];  // registry key names are at most 255 characters
    DWORD length = static_cast<DWORD>(std::size(name));
    const LSTATUS status =
        RegEnumKeyExW(Handle(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) names.emplace_back(name, length);
  }
  return names;
}

}  // namespace kestrelwing::regsvr42
