// Where ReportError's messages go: the reporter a test installed, else the system's own way.
#include <atomic>

#include "Edge.h"

namespace kestrelwing::platform {
namespace {

std::atomic<ErrorReporter> customReporter{nullptr};

}  // namespace

ErrorReporter SetErrorReporter(ErrorReporter reporter) {
  return customReporter.exchange(reporter);
}

void ReportError(std::u16string_view message) {
  if (const ErrorReporter reporter = customReporter.load()) {
    reporter(message);
    return;
  }
  ShowError(message);
}

}  // namespace kestrelwing::platform
