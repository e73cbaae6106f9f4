// The self-check. Before the manifests are put in place, the generator starts itself (the same
// program, so the same bitness) in a check mode that sees none of the component's registration: an
// activation context is made from the pending component manifest and every class, ProgID, type
// library and proxy/stub it declares is looked up through it; with a client, the pending client
// manifest must find the assembly the way the loader probes for it and give one class. A manifest
// that fails any item is not written.
#pragma once

#include <string>
#include <vector>

namespace kestrelwing::regsvr42 {

struct CheckRequest {
  std::u16string component;          // as named on the command line, for the messages
  std::wstring componentPath;        // full path of the component file
  std::wstring manifest;             // the pending component manifest, finished
  std::wstring manifestDestination;  // where it is to be put
  std::wstring client;               // full path of the client program; empty without one
  std::wstring clientManifest;       // the pending client manifest, finished
};

// How long one item of the check may take; past it the check ends, naming the item.
inline constexpr unsigned kCheckItemLimitSeconds = 30;

// Runs the check in a child process. Each item passed is a line on standard output, each failure a
// line on standard error, both written by the child. Throws Failure(ManifestRejected) when an item
// failed or did not end in time, Failure(ComponentCrashed) when the component crashed.
void VerifyManifests(const CheckRequest& request);

// True when the command line asks for the check mode (only the generator itself starts it).
bool IsCheckMode(const std::vector<std::u16string>& arguments);

// The check mode: 0 when every item passed, ManifestRejected after any failure.
int RunCheckMode(const std::vector<std::u16string>& arguments);

}  // namespace kestrelwing::regsvr42
