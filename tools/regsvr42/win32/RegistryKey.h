// A registry key handle that closes itself, with the few reads the generator needs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {

class RegistryKey {
 public:
  RegistryKey() = default;
  explicit RegistryKey(HKEY handle) : handle_(handle) {}

  // Opens an existing subkey for reading; an empty key when it does not exist.
  RegistryKey Open(const std::wstring& subkey) const { return Open(Handle(), subkey); }
  static RegistryKey Open(HKEY parent, const std::wstring& subkey);
  // Opens or creates a subkey with full access; the error code on failure.
  static LSTATUS Create(HKEY parent, const std::wstring& subkey, RegistryKey& key);

  // A string value (REG_SZ, or REG_EXPAND_SZ expanded); none when missing or of another type.
  // An empty name reads the default value.
  std::optional<std::wstring> String(const std::wstring& name = L"") const;
  std::vector<std::wstring> SubkeyNames() const;

  explicit operator bool() const { return handle_ != nullptr; }
  HKEY Handle() const { return handle_.get(); }

 private:
  UniqueRegistryKey handle_;
};

}  // namespace kestrelwing::regsvr42
