// The self-check. Before the manifests are put in place, the generator starts itself (the same
// program, so the same bitness) in a check mode that sees none of the component's registration: an
// activation context is made from the pending component manifest and every class, ProgID, type
// library and proxy/stub it declares is looked up through it; with a client, the pending client
// manifest must find the assembly the way the loader probes for it and give a class that passed.
// A manifest that fails any item is not written. A class the component's own DllGetClassObject
// declines is no failure of the manifest: it is named, and the generator leaves it out.
//
// SelfCheckParent.cpp holds the generator's side (staging, the child's start and end),
// SelfCheckChild.cpp the checks, SelfCheckRequest.h what the two share.
#pragma once

#include <string>
#include <vector>

#include "DeclinedClasses.h"
#include "TimeLimits.h"

namespace kestrelwing::regsvr42 {

struct CheckRequest {
  std::u16string component;          // as named on the command line, for the messages
  std::wstring componentPath;        // full path of the component file
  std::wstring manifest;             // the pending component manifest, finished
  std::wstring manifestDestination;  // where it is to be put
  std::wstring client;               // full path of the client program; empty without one
  std::wstring clientManifest;       // the pending client manifest, finished
  unsigned timeoutSeconds = kDefaultTimeoutSeconds;  // -timeout:, which bounds each item
};

// Runs the check in a child process. Each item passed is a line on standard output, each failure a
// line on standard error, both written by the child. Answers the classes the component declines
// when every other item passed. Throws Failure(ManifestRejected) when an item failed or did not
// end in time, Failure(ComponentCrashed) when the component crashed, and the failure CheckFailure
// (ChildOutcome.h) makes of any other end.
std::vector<DeclinedClass> VerifyManifests(const CheckRequest& request);

// True when the command line asks for the check mode (only the generator itself starts it).
bool IsCheckMode(const std::vector<std::u16string>& arguments);

// The check mode: 0 when every item passed or was declined by the component (the declined ones
// listed for the generator), ManifestRejected after any failure; any other failure of its own is
// a line and its code, never an abort.
int RunCheckMode(const std::vector<std::u16string>& arguments);

}  // namespace kestrelwing::regsvr42
