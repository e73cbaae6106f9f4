// xml_conformance: runs the W3C XML conformance suite's XML 1.0 cases through this library and
// its peers, prints the tables (Markdown) and checks this library's misses against the committed
// list.
//
//   xml_conformance --suite <folder of xmlconf.xml> --expected <expected.txt>
//                   [--write-expected] [--case <ID>] [--trace]
//
// Each case's goal is in Goal.h. Every case that misses it must be listed in expected.txt with the
// same outcome, and every listed case must still miss it; --write-expected writes the list anew
// instead (sorted by case ID). This library reads each case twice, on its SSE2 paths and on the
// portable code beside them ("kestrelwing (portable)"); the two must agree on every case (verdict,
// message, canonical forms, tree and saved bytes), whatever the list says.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "Canonical.h"
#include "ExpectedList.h"
#include "Goal.h"
#include "Readers.h"
#include "ScanningPaths.h"
#include "SuiteIndex.h"

namespace kestrelwing::conformance {
namespace {

enum Parser { kOurs, kOursPortable, kPugixml, kTinyxml2, kLibxml2, kParsers };
constexpr const char* kParserNames[kParsers] = {"kestrelwing", "kestrelwing (portable)", "pugixml",
                                                "tinyxml2", "libxml2"};

// Counts for the cases of one type, standalone or needing an external entity.
struct Tally {
  int cases = 0;
  int withOutput = 0;
  int accepted[kParsers] = {};
  int canonicalEqual[kParsers] = {};
  int roundTripKept = 0;  // this library only: canonical form unchanged by SaveToBytes and Parse
  int missed = 0;         // this library's cases that miss their goal

  Tally& operator+=(const Tally& other) {
    cases += other.cases;
    withOutput += other.withOutput;
    for (int parser = 0; parser < kParsers; ++parser) {
      accepted[parser] += other.accepted[parser];
      canonicalEqual[parser] += other.canonicalEqual[parser];
    }
    roundTripKept += other.roundTripKept;
    missed += other.missed;
    return *this;
  }
};

constexpr int kTypes = 4;
// [type][needs an external entity]
using Tallies = Tally[kTypes][2];

void Add(Tallies& total, const Tallies& part) {
  for (int type = 0; type < kTypes; ++type) {
    for (int external = 0; external < 2; ++external)
      total[type][external] += part[type][external];
  }
}

std::optional<std::string> ReadFile(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return std::nullopt;
  std::ostringstream text;
  text << stream.rdbuf();
  return std::move(text).str();
}

// This library's reading on the portable code beside its SSE2 paths.
Reading ReadOnPortablePaths(std::string_view bytes) {
  const testing::ScanningPaths portable(/*wide=*/false);
  return ReadWithKestrelwing(bytes);
}

// The first difference between this library's two readings of a case (verdict, message, canonical
// forms), then between the trees and saved bytes of the two paths (ScanningPaths.h); or empty.
std::string ComparePaths(std::string_view bytes, const Reading& wide, const Reading& portable) {
  if (wide.accepted != portable.accepted || wide.failure != portable.failure) {
    return "verdict: \"" + (wide.accepted ? "accepted" : wide.failure) +
           "\" on the SSE2 paths, \"" + (portable.accepted ? "accepted" : portable.failure) +
           "\" on the portable ones";
  }
  if (wide.canonical != portable.canonical ||
      wide.canonicalAfterRoundTrip != portable.canonicalAfterRoundTrip ||
      wide.roundTripFailure != portable.roundTripFailure) {
    return "the canonical forms differ";
  }
  return testing::CompareScanningPaths(
      {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, XmlSyntax::Xml10);
}

// This library's table for some cases: one row per type, standalone then needing an external
// entity.
void PrintTallies(const Tallies& tallies) {
  std::cout << "| type | cases | accepted | refused | canonical form equal | round trip kept "
               "| goal missed |\n|---|---:|---:|---:|---:|---:|---:|\n";
  for (int external = 0; external < 2; ++external) {
    for (int type = 0; type < kTypes; ++type) {
      const Tally& tally = tallies[type][external];
      if (tally.cases == 0) continue;
      std::cout << "| " << TypeName(static_cast<CaseType>(type))
                << (external != 0 ? " (external entity)" : "") << " | " << tally.cases << " | "
                << tally.accepted[kOurs] << " | " << tally.cases - tally.accepted[kOurs] << " | ";
      if (tally.withOutput > 0) {
        std::cout << tally.canonicalEqual[kOurs] << " of " << tally.withOutput;
      } else {
        std::cout << "-";
      }
      std::cout << " | " << tally.roundTripKept << " | " << tally.missed << " |\n";
    }
  }
}

void PrintLeftOut(const Collection& collection) {
  const std::pair<std::size_t, const char*> reasons[] = {
      {collection.otherVersion, "for XML 1.1"},
      {collection.otherEdition, "for editions before the fifth only"},
      {collection.namespaces, "namespace cases"},
  };
  const char* separator = collection.cases.empty() ? "All cases left out: " : "\nLeft out: ";
  for (const auto& [count, why] : reasons) {
    if (count == 0) continue;
    std::cout << separator << count << ' ' << why;
    separator = ", ";
  }
  if (separator[0] == ',') std::cout << '\n';
}

// All parsers side by side over the whole run.
void PrintComparison(const Tallies& total) {
  const auto row = [&](const std::string& label, auto count, bool tinyxml2Knows = true) {
    std::cout << "| " << label;
    for (int parser = 0; parser < kParsers; ++parser) {
      if (parser == kTinyxml2 && !tinyxml2Knows) {
        std::cout << " | -";
      } else {
        std::cout << " | " << count(parser);
      }
    }
    std::cout << " |\n";
  };
  const auto type = [&](CaseType t, bool external) -> const Tally& {
    return total[static_cast<int>(t)][external ? 1 : 0];
  };
  std::cout << "| cases |";
  for (const char* name : kParserNames)
    std::cout << ' ' << name << " |";
  std::cout << "\n|---|";
  for (int parser = 0; parser < kParsers; ++parser)
    std::cout << "---:|";
  std::cout << '\n';
  for (const CaseType t : {CaseType::Valid, CaseType::Invalid}) {
    const Tally& tally = type(t, false);
    row(std::string(TypeName(t)) + ": accepted of " + std::to_string(tally.cases),
        [&](int parser) { return tally.accepted[parser]; });
  }
  const Tally& notWf = type(CaseType::NotWellFormed, false);
  row("not-wf: refused of " + std::to_string(notWf.cases),
      [&](int parser) { return notWf.cases - notWf.accepted[parser]; });
  const int withOutput =
      type(CaseType::Valid, false).withOutput + type(CaseType::Invalid, false).withOutput;
  row(
      "valid and invalid: canonical form equal of " + std::to_string(withOutput),
      [&](int parser) {
        return type(CaseType::Valid, false).canonicalEqual[parser] +
               type(CaseType::Invalid, false).canonicalEqual[parser];
      },
      /*tinyxml2Knows=*/false);
  const Tally& error = type(CaseType::Error, false);
  row("error: accepted of " + std::to_string(error.cases),
      [&](int parser) { return error.accepted[parser]; });
  Tally externalValid = type(CaseType::Valid, true);
  externalValid += type(CaseType::Invalid, true);
  row("external entity, valid and invalid: accepted of " + std::to_string(externalValid.cases),
      [&](int parser) { return externalValid.accepted[parser]; });
  const Tally& externalNotWf = type(CaseType::NotWellFormed, true);
  row("external entity, not-wf: refused of " + std::to_string(externalNotWf.cases),
      [&](int parser) { return externalNotWf.cases - externalNotWf.accepted[parser]; });
}

void PrintCase(const SuiteCase& suiteCase, const std::optional<std::string>& output,
               const Reading (&readings)[kParsers]) {
  std::cout << suiteCase.id << ": " << TypeName(suiteCase.type)
            << (suiteCase.needsExternalEntity ? ", needs an external entity" : "") << "\n  file "
            << suiteCase.file.string() << '\n';
  if (output) std::cout << "  expected canonical form:\n" << *output << '\n';
  for (int parser = 0; parser < kParsers; ++parser) {
    const Reading& reading = readings[parser];
    std::cout << "  " << kParserNames[parser] << ": "
              << (reading.accepted ? "accepted" : "refused: " + reading.failure) << '\n';
    if (reading.canonical) std::cout << "    canonical form:\n" << *reading.canonical << '\n';
    if (reading.canonicalAfterRoundTrip) {
      std::cout << "    after SaveToBytes and Parse:\n" << *reading.canonicalAfterRoundTrip << '\n';
    } else if (!reading.roundTripFailure.empty()) {
      std::cout << "    round trip: " << reading.roundTripFailure << '\n';
    }
  }
}

struct Options {
  std::filesystem::path suite;
  std::filesystem::path expected;
  bool writeExpected = false;
  bool trace = false;
  std::string onlyCase;
};

int Run(const Options& options) {
  if (!std::filesystem::is_regular_file(options.suite / "xmlconf.xml")) {
    std::cout << "FAIL: the W3C XML conformance suite is not at " << options.suite.string()
              << " (no xmlconf.xml); scripts/conformance-suite.sh fetches it\n";
    return 2;
  }
  const SuiteIndex index = ReadSuiteIndex(std::filesystem::absolute(options.suite));
  if (!index.failure.empty()) {
    std::cout << "FAIL: the suite's index: " << index.failure << '\n';
    return 2;
  }
  PrepareLibxml2();

  const auto started = std::chrono::steady_clock::now();
  Misses misses;
  std::set<std::string> known;  // every case ID run
  Tallies total{};
  std::vector<std::string> pathDifferences;  // cases the two scanning paths read differently
  int cases = 0;
  std::size_t otherVersion = 0, otherEdition = 0, namespaces = 0;
  for (const Collection& collection : index.collections) {
    Tallies tallies{};
    for (const SuiteCase& suiteCase : collection.cases) {
      if (!options.onlyCase.empty() && suiteCase.id != options.onlyCase) continue;
      if (known.contains(suiteCase.id)) {
        std::cout << "FAIL: the case ID " << suiteCase.id << " is used twice\n";
        return 2;
      }
      known.insert(suiteCase.id);
      if (options.trace) std::cerr << suiteCase.id << std::endl;
      const std::optional<std::string> bytes = ReadFile(suiteCase.file);
      std::optional<std::string> output;
      if (!suiteCase.output.empty()) output = ReadFile(suiteCase.output);
      if (!bytes || (!suiteCase.output.empty() && !output)) {
        std::cout << "FAIL: the suite is incomplete: " << suiteCase.id
                  << "'s files cannot be read\n";
        return 2;
      }
      const Reading readings[kParsers] = {ReadWithKestrelwing(*bytes), ReadOnPortablePaths(*bytes),
                                          ReadWithPugixml(*bytes), ReadWithTinyxml2(*bytes),
                                          ReadWithLibxml2(*bytes)};
      if (!options.onlyCase.empty()) PrintCase(suiteCase, output, readings);
      if (std::string difference = ComparePaths(*bytes, readings[kOurs], readings[kOursPortable]);
          !difference.empty()) {
        pathDifferences.push_back(suiteCase.id + ": " + difference);
      }

      Tally& tally = tallies[static_cast<int>(suiteCase.type)][suiteCase.needsExternalEntity];
      ++tally.cases;
      ++cases;
      if (output) ++tally.withOutput;
      for (int parser = 0; parser < kParsers; ++parser) {
        const Reading& reading = readings[parser];
        tally.accepted[parser] += reading.accepted;
        tally.canonicalEqual[parser] += output && reading.canonical == *output;
      }
      const Reading& ours = readings[kOurs];
      tally.roundTripKept += ours.canonicalAfterRoundTrip.has_value() &&
                             ours.canonicalAfterRoundTrip == ours.canonical;
      if (std::optional<Miss> miss = MissedGoal(suiteCase, ours, output)) {
        ++tally.missed;
        misses[suiteCase.id] = std::move(*miss);
      }
    }
    otherVersion += collection.otherVersion;
    otherEdition += collection.otherEdition;
    namespaces += collection.namespaces;
    if (options.onlyCase.empty()) {
      std::cout << "\n### " << collection.name << ": " << collection.profile << "\n\n";
      if (!collection.cases.empty()) PrintTallies(tallies);
      PrintLeftOut(collection);
    }
    Add(total, tallies);
  }
  for (const std::string& difference : pathDifferences)
    std::cout << "FAIL: the scanning paths differ on " << difference << '\n';
  if (!options.onlyCase.empty()) {
    if (cases == 0) std::cout << "no case " << options.onlyCase << " among those run\n";
    if (!pathDifferences.empty()) return 1;
    if (misses.empty()) return cases == 0 ? 2 : 0;
    for (const auto& [id, miss] : misses)
      std::cout << id << ' ' << miss.outcome << ' ' << miss.reason << '\n';
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  std::cout << "\n### All collections: kestrelwing\n\n";
  PrintTallies(total);
  std::cout << "\n### All collections, side by side\n\n";
  PrintComparison(total);
  std::cout << "\n"
            << cases << " cases run (left out: " << otherVersion << " for XML 1.1, " << otherEdition
            << " for editions before the fifth only, " << namespaces << " namespace cases); "
            << misses.size() << " miss their goal; " << pathDifferences.size()
            << " read differently on the two scanning paths; " << static_cast<int>(seconds * 1000)
            << " ms for the five readings\n\n";

  if (options.writeExpected) {
    std::ofstream stream(options.expected, std::ios::binary);
    WriteMisses(stream, misses);
    if (!stream.flush()) {
      std::cout << "FAIL: cannot write " << options.expected.string() << '\n';
      return 2;
    }
    std::cout << "wrote " << misses.size() << " cases to " << options.expected.string() << '\n';
    return 0;
  }
  std::ifstream stream(options.expected, std::ios::binary);
  if (!stream) {
    std::cout << "FAIL: cannot read the list " << options.expected.string() << '\n';
    return 2;
  }
  const ListComparison comparison = CompareMisses(ReadMisses(stream), misses, known);
  for (const std::string& note : comparison.notes)
    std::cout << "note: " << note << '\n';
  for (const std::string& difference : comparison.differences)
    std::cout << difference << '\n';
  if (!comparison.differences.empty()) {
    std::cout << comparison.differences.size()
              << " case(s) differ from the list; once the change is meant, "
                 "xml_conformance --write-expected rewrites it\n";
    return 1;
  }
  if (!pathDifferences.empty()) {
    std::cout << "FAIL: " << pathDifferences.size()
              << " case(s) read differently on the SSE2 and the portable scanning paths\n";
    return 1;
  }
  std::cout << "every case as listed in " << options.expected.filename().string() << '\n';
  return 0;
}

}  // namespace
}  // namespace kestrelwing::conformance

int main(int argc, char** argv) {
  kestrelwing::conformance::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--suite" && hasValue) {
      options.suite = argv[++i];
    } else if (argument == "--expected" && hasValue) {
      options.expected = argv[++i];
    } else if (argument == "--case" && hasValue) {
      options.onlyCase = argv[++i];
    } else if (argument == "--write-expected") {
      options.writeExpected = true;
    } else if (argument == "--trace") {
      options.trace = true;
    } else {
      std::cerr << "usage: xml_conformance --suite <folder of xmlconf.xml> --expected <list> "
                   "[--write-expected] [--case <ID>] [--trace]\n";
      return 2;
    }
  }
  if (options.suite.empty() || options.expected.empty()) {
    std::cerr << "xml_conformance: --suite and --expected are needed\n";
    return 2;
  }
  return kestrelwing::conformance::Run(options);
}
