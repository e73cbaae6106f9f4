// The committed list of the conformance cases this library does not yet handle as their type
// asks (tests/xml/conformance/expected.txt), and its comparison with a run.
#pragma once

#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kestrelwing::conformance {

// What a case came to when it missed its goal.
struct Miss {
  std::string outcome;  // accepted, refused, canonical or round-trip: one word
  std::string reason;   // one line

  friend bool operator==(const Miss&, const Miss&) = default;
};
using Misses = std::map<std::string, Miss>;  // by case ID, so written sorted

// A parser's words as a reason: control characters written \xNN, no spaces at the ends (the list
// is read back by words and lines).
std::string OneLine(std::string_view text);

// The list: a header of '#' lines, then "<ID> <outcome> <reason>" a line.
void WriteMisses(std::ostream& stream, const Misses& misses);
Misses ReadMisses(std::istream& stream);

struct ListComparison {
  // What makes the test fail: a new miss, a changed outcome, a listed case that now meets its
  // goal, a listed ID that no case has. One line each.
  std::vector<std::string> differences;
  // Listed cases that miss their goal as listed, for another reason now.
  std::vector<std::string> notes;
};
// known: the ID of every case run.
ListComparison CompareMisses(const Misses& listed, const Misses& run,
                             const std::set<std::string>& known);

}  // namespace kestrelwing::conformance
