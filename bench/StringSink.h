// The writer's output collected in memory, for the benchmarks that time the writer alone.
#pragma once

#include <string>
#include <string_view>

#include "Writer.h"

namespace kestrelwing::bench {

class StringSink final : public detail::ByteSink {
 public:
  bool Write(std::string_view bytes) override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

}  // namespace kestrelwing::bench
