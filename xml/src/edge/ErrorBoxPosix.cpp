// The failure message on POSIX systems: one line on standard error.
#include <algorithm>
#include <cstdio>
#include <string>

#include <kestrelwing/cXmlNode.h>

#include "Edge.h"

namespace kestrelwing::platform {

void ShowError(std::u16string_view message) {
  std::string line = ToUtf8(message);
  std::replace(line.begin(), line.end(), '\n', ' ');
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

}  // namespace kestrelwing::platform
