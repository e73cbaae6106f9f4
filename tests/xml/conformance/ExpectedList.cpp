#include "ExpectedList.h"

#include <istream>
#include <ostream>
#include <sstream>

namespace kestrelwing::conformance {

std::string OneLine(std::string_view text) {
  std::string line;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kDigits[] = "0123456789ABCDEF";
      line += {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
    } else {
      line += c;
    }
  }
  const std::size_t first = line.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return line.substr(first, line.find_last_not_of(' ') + 1 - first);
}

void WriteMisses(std::ostream& stream, const Misses& misses) {
  stream
      << "# The W3C XML conformance suite's cases that this library, reading XML 1.0, does not\n"
         "# yet handle as their type asks, one a line: <case ID> <outcome> <reason>. The\n"
         "# outcome is accepted (a not-wf case), refused (a valid or invalid one; the reason is\n"
         "# Result()), canonical (the canonical form is not the suite's) or round-trip\n"
         "# (SaveToBytes and Parse change it). xml_conformance fails when a case's outcome\n"
         "# differs from this list either way; xml_conformance --write-expected writes it anew.\n"
         "# See docs/conformance.md.\n";
  for (const auto& [id, miss] : misses) {
    stream << id << ' ' << miss.outcome;
    if (!miss.reason.empty()) stream << ' ' << miss.reason;
    stream << '\n';
  }
}

Misses ReadMisses(std::istream& stream) {
  Misses misses;
  std::string line;
  while (std::getline(stream, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string id;
    Miss miss;
    words >> id >> miss.outcome >> std::ws;
    std::getline(words, miss.reason);
    misses[id] = std::move(miss);
  }
  return misses;
}

ListComparison CompareMisses(const Misses& listed, const Misses& run,
                             const std::set<std::string>& known) {
  ListComparison comparison;
  for (const auto& [id, miss] : run) {
    const auto entry = listed.find(id);
    if (entry == listed.end()) {
      comparison.differences.push_back("NEW MISS " + id + ' ' + miss.outcome + ' ' + miss.reason);
    } else if (entry->second.outcome != miss.outcome) {
      comparison.differences.push_back("CHANGED " + id + ": listed " + entry->second.outcome +
                                       ", now " + miss.outcome + ' ' + miss.reason);
    } else if (entry->second.reason != miss.reason) {
      comparison.notes.push_back(id + ' ' + miss.outcome + " now for: " + miss.reason);
    }
  }
  for (const auto& [id, miss] : listed) {
    if (run.contains(id)) continue;
    comparison.differences.push_back(known.contains(id)
                                         ? "NOW MEETS ITS GOAL " + id + " (listed " + miss.outcome +
                                               "): remove it from the list"
                                         : "UNKNOWN CASE " + id + " in the list");
  }
  return comparison;
}

}  // namespace kestrelwing::conformance
