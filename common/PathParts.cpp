#include "PathParts.h"

namespace kestrelwing {

std::size_t FileNameStart(std::u16string_view path) {
  const std::size_t separator = path.find_last_of(u"\\/");
  return separator == std::u16string_view::npos ? 0 : separator + 1;
}

std::u16string GetFileName(std::u16string_view path) {
  return std::u16string(path.substr(FileNameStart(path)));
}

std::u16string GetBaseName(std::u16string_view path) {
  const std::u16string_view name = path.substr(FileNameStart(path));
  return std::u16string(name.substr(0, name.rfind(u'.')));
}

}  // namespace kestrelwing
