#include "PathParts.h"

namespace kestrelwing {

std::u16string GetFileName(std::u16string_view path) {
  return std::u16string(path.substr(FileNameStart(path)));
}

std::u16string GetBaseName(std::u16string_view path) {
  const std::u16string_view name = path.substr(FileNameStart(path));
  return std::u16string(name.substr(0, name.rfind(u'.')));
}

}  // namespace kestrelwing
