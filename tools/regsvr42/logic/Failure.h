// How the generator gives up: an exit code and one line for standard error.
#pragma once

#include <stdexcept>
#include <string>

#include "GeneratorExitCodes.h"

namespace kestrelwing::regsvr42 {

using ExitCode = GeneratorExitCode;

// An empty message means the line was already written (by the sibling generator).
class Failure : public std::runtime_error {
 public:
  Failure(ExitCode code, std::u16string message)
      : std::runtime_error("regsvr42 failure"), code_(code), message_(std::move(message)) {}
  ExitCode Code() const { return code_; }
  const std::u16string& Message() const { return message_; }

 private:
  ExitCode code_;
  std::u16string message_;
};

}  // namespace kestrelwing::regsvr42
