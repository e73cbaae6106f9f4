// Classes the registration names but the component's own DllGetClassObject declines: nobody can
// create them, with the registration or without it, so the manifest leaves them out and says so.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ManifestModel.h"

namespace kestrelwing::regsvr42 {

// CLASS_E_CLASSNOTAVAILABLE, and E_NOINTERFACE (asked for IClassFactory): the answers by which a
// component says it does not serve a class.
inline constexpr std::uint32_t kClassNotAvailable = 0x80040111;
inline constexpr std::uint32_t kNoInterface = 0x80004002;

struct DeclinedClass {
  std::u16string clsid;  // as the manifest writes it
  std::uint32_t code = kClassNotAvailable;
};

// True for the answers that mean "not served" (see above).
constexpr bool DeclinesClass(std::uint32_t code) {
  return code == kClassNotAvailable || code == kNoInterface;
}

// The self-check's list for the generator: one "<clsid> 0x<code>" a line.
std::string DeclinedText(const std::vector<DeclinedClass>& declined);
// Read back; none when a line is not of that form or names an answer that does not decline.
std::optional<std::vector<DeclinedClass>> ReadDeclinedText(std::string_view text);

// Takes the declined classes out of the manifest (each class with its ProgIDs, nothing else) and
// answers, for each one taken out, its line
// "left out <file>: class {...} (<ProgID>): the component does not serve it (0x80040111)", in the
// manifest's order. A CLSID the manifest does not hold is not named.
std::vector<std::u16string> LeaveOutDeclined(ComponentManifest& manifest,
                                             const std::vector<DeclinedClass>& declined);

}  // namespace kestrelwing::regsvr42
