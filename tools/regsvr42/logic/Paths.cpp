#include "Paths.h"

#include "PathParts.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t name = FileNameStart(FromWide(path));
  return name == 0 ? std::wstring(L".") : path.substr(0, name - 1);
}

std::u16string DefaultAssemblyName(std::u16string_view componentPath) {
  return GetBaseName(componentPath) + u".sxs";
}

std::wstring Unquoted(const std::wstring& path) {
  if (path.size() >= 2 && path.front() == L'"' && path.back() == L'"') {
    return path.substr(1, path.size() - 2);
  }
  return path;
}

}  // namespace kestrelwing::regsvr42
