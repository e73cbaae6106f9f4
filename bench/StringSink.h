// The writer's output collected in memory, for the benchmarks that time the writer alone.
#pragma once

#include "Writer.h"

namespace kestrelwing::bench {

using StringSink = detail::StringSink;

}  // namespace kestrelwing::bench
