// Owners that release Win32 handles when their scope ends.
#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace kestrelwing {

struct KernelHandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, KernelHandleCloser>;

// The owner of a handle from CreateFileW, which answers INVALID_HANDLE_VALUE rather than null.
inline UniqueHandle OwnFileHandle(HANDLE file) {
  return UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

struct FontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

struct RegistryKeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using UniqueRegistryKey = std::unique_ptr<std::remove_pointer_t<HKEY>, RegistryKeyCloser>;

// A module from LoadLibraryExW, freed with FreeLibrary.
struct ModuleFreer {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using LoadedModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, ModuleFreer>;

}  // namespace kestrelwing
