// How long the generator waits for code it does not control: the component's calls, the self-check
// and the generator of the other bitness. Every limit is decided here.
#pragma once

#include <algorithm>
#include <cstddef>

namespace kestrelwing::regsvr42 {

// The time limit of a call into a component's code (-timeout:), and the range it accepts.
inline constexpr unsigned kDefaultTimeoutSeconds = 60;
inline constexpr unsigned kLongestTimeoutSeconds = 3600;

// An item of the self-check may take -timeout:, at most this long: a class that answers at all
// answers at once, and a hanging one should not hold the check for minutes.
inline constexpr unsigned kLongestCheckItemSeconds = 30;

// Besides its calls, each watched thread waits twice within the limit: until it is in its
// apartment, and until it has left it.
inline constexpr std::size_t kWaitsPerThread = 2;

// The start of a child process and its own work, beyond the waits it makes within limits.
inline constexpr unsigned long kChildMarginSeconds = 30;

constexpr unsigned CheckItemLimitSeconds(unsigned timeoutSeconds) {
  return std::min(timeoutSeconds, kLongestCheckItemSeconds);
}

// The whole self-check: each of its watched calls, the two threads it runs them on (single- and
// multithreaded) entering and leaving their apartments, and the margin.
constexpr unsigned long CheckLimitSeconds(std::size_t watchedCalls, unsigned itemLimitSeconds) {
  return static_cast<unsigned long>(itemLimitSeconds) * (watchedCalls + 2 * kWaitsPerThread) +
         kChildMarginSeconds;
}

// The calls the generator makes into a component, each within -timeout:, on one watched thread:
// loading (DllMain), DllRegisterServer, reading its type libraries, unloading.
inline constexpr std::size_t kComponentCalls = 4;

// How long a hand-over to the generator of the other bitness may take before it is ended: the
// sibling keeps -timeout: itself for each of its calls into the component and for its thread's
// apartment, plus the margin.
constexpr unsigned long HandOverLimitSeconds(unsigned timeoutSeconds) {
  return static_cast<unsigned long>(timeoutSeconds) * (kComponentCalls + kWaitsPerThread) +
         kChildMarginSeconds;
}

}  // namespace kestrelwing::regsvr42
