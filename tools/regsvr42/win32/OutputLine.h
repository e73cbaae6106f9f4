// The generator's lines on standard output and standard error, and in the report.
#pragma once

#include <kestrelwing/cXmlNode.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "Report.h"

namespace kestrelwing::regsvr42 {

// Writes text and a line break to stream in UTF-8, at once (a parent reads it as it comes), and to
// the report.
inline void WriteLine(std::FILE* stream, std::u16string_view text) {
  const std::string bytes = ToUtf8(text) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::fflush(stream);
  AddToReport(bytes);
}

}  // namespace kestrelwing::regsvr42
