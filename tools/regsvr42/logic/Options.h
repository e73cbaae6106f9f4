// The generator's command line.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "TimeLimits.h"

namespace kestrelwing::regsvr42 {

// Where the assembly version comes from.
enum class VersionSource { Default, Explicit, FileVersion, ProductVersion };

struct Options {
  std::vector<std::u16string> components;  // paths named on the command line
  std::u16string batchFile;                // -batch:<file>
  std::u16string name;                     // -name:<name>, empty for "<base name>.sxs"
  VersionSource versionSource = VersionSource::Default;
  std::u16string version;    // -version:<a.b.c.d> when versionSource is Explicit
  std::u16string directory;  // -dir:<folder>, empty for the component's folder
  std::u16string client;     // -client:<exe>
  bool embed = false;        // -embed: a client's embedded manifest takes the dependency
  bool sha1 = false;         // -hash
  bool size = false;         // -size
  bool help = false;         // -help, -h, -?
  bool noVerify = false;     // -noverify: the manifests are written without the self-check
  // -timeout:<seconds>: how long each call into the component's code may take.
  unsigned timeoutSeconds = kDefaultTimeoutSeconds;
  // -report:<file>: every line written to standard output and standard error also goes to the
  // file, created anew (-appendreport:<file>, which a generator gives the ones it starts, adds to
  // it).
  std::u16string report;
  bool appendReport = false;
  // The options as given, without -batch: and the component paths, to run another generator on
  // one component with the same choices; -report: becomes -appendreport: there, so that the other
  // generator adds its lines to the same report.
  std::vector<std::u16string> settings;
};

struct ParsedOptions {
  std::optional<Options> options;
  std::u16string error;  // one line, set when options is none
};

// Options start with '-' or '/', are matched ignoring case, and may come in any order with the
// component paths.
ParsedOptions ParseOptions(std::span<const std::u16string> arguments);

// The -help text.
std::u16string UsageText();

// True for a four-part version a.b.c.d with each part 0..65535 in decimal.
bool IsAssemblyVersion(std::u16string_view text);

// Component paths of a batch file: one a line, trimmed; empty lines and lines starting with '#' or
// ';' are skipped; surrounding double quotes are removed.
std::vector<std::u16string> BatchComponents(std::u16string_view text);

}  // namespace kestrelwing::regsvr42
