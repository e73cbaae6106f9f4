#include "PathParts.h"

namespace kestrelwing {
namespace {

// Position of the last separator, or npos.
std::size_t LastSeparator(std::u16string_view path) {
  return path.find_last_of(kPathSeparators);
}

}  // namespace

std::u16string GetFolderPart(std::u16string_view path) {
  const std::size_t separator = LastSeparator(path);
  if (separator == std::u16string_view::npos) return std::u16string(path);
  return std::u16string(path.substr(0, separator + 1));
}

std::u16string GetBaseName(std::u16string_view path) {
  const std::size_t separator = LastSeparator(path);
  const std::u16string_view name =
      separator == std::u16string_view::npos ? path : path.substr(separator + 1);
  return std::u16string(name.substr(0, name.rfind(u'.')));
}

}  // namespace kestrelwing
