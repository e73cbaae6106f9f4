// How the generator gives up: an exit code and one line for standard error.
#pragma once

#include <stdexcept>
#include <string>

namespace kestrelwing::regsvr42 {

enum class ExitCode : int {
  Ok = 0,
  Usage = 1,         // bad command line
  FileMissing = 2,   // the component or the batch file cannot be read
  NotComponent = 3,  // not a PE file, or a machine type this generator does not know
  OtherBitness = 4,  // the component has the other bitness and no sibling generator is installed
  LoadFailed = 5,    // the component or a DLL it needs does not load
  NoRegisterExport = 6,   // no DllRegisterServer export
  RegisterFailed = 7,     // DllRegisterServer answered a failure HRESULT
  NothingRegistered = 8,  // DllRegisterServer registered no class of this file
  TypeLibraryFailed = 9,  // an embedded type library cannot be read
  RegistryFailed = 10,    // the temporary registry key cannot be set up
  WriteFailed = 11,       // a manifest cannot be written
  ComponentCrashed = 12,  // the component crashed while loading or registering
  ManifestInvalid = 13,   // a manifest would not load: a class or ProgID it declares does not work
  Last = ManifestInvalid,
};

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
