#include "Options.h"

#include <optional>

#include "AsciiCase.h"
#include "ManifestRules.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

std::u16string_view Trim(std::u16string_view text) {
  auto blank = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

bool IsOption(std::u16string_view argument) {
  return argument.size() > 1 && (argument[0] == u'-' || argument[0] == u'/');
}

// A whole number of seconds from 1 to kLongestTimeoutSeconds in decimal digits.
std::optional<unsigned> Seconds(std::u16string_view text) {
  if (text.empty() || text.size() > 4) return std::nullopt;
  unsigned seconds = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    seconds = seconds * 10 + (c - u'0');
  }
  if (seconds == 0 || seconds > kLongestTimeoutSeconds) return std::nullopt;
  return seconds;
}

// Applies one option (without its leading '-' or '/'); answers an error line or nothing.
std::u16string ApplyOption(std::u16string_view option, Options& options) {
  const std::size_t colon = option.find(u':');
  const std::u16string_view key = option.substr(0, colon);
  const bool hasValue = colon != std::u16string_view::npos;
  const std::u16string_view value = hasValue ? option.substr(colon + 1) : std::u16string_view();

  auto needsValue = [&](std::u16string& target) -> std::u16string {
    if (value.empty()) return u"option -" + std::u16string(key) + u": needs a value";
    target = std::u16string(value);
    return {};
  };
  auto takesNoValue = [&](bool& flag) -> std::u16string {
    if (hasValue) return u"option -" + std::u16string(key) + u" takes no value";
    flag = true;
    return {};
  };

  if (SameIgnoringCase(key, u"name")) {
    std::u16string error = needsValue(options.name);
    if (error.empty()) {
      // A name the loader could not find or parse is refused before the component is loaded.
      if (const auto problem = AssemblyNameProblem(options.name))
        error = u"option -name: " + *problem;
    }
    return error;
  }
  if (SameIgnoringCase(key, u"dir")) return needsValue(options.directory);
  if (SameIgnoringCase(key, u"client")) return needsValue(options.client);
  if (SameIgnoringCase(key, u"batch")) return needsValue(options.batchFile);
  if (SameIgnoringCase(key, u"report") || SameIgnoringCase(key, u"appendreport")) {
    options.appendReport = SameIgnoringCase(key, u"appendreport");
    return needsValue(options.report);
  }
  if (SameIgnoringCase(key, u"hash")) return takesNoValue(options.sha1);
  if (SameIgnoringCase(key, u"embed")) return takesNoValue(options.embed);
  if (SameIgnoringCase(key, u"sha256")) {
    // Windows documents only SHA1 for a file's hash in a manifest; a SHA-256 one is not known to
    // load, so it is not written.
    return u"option -sha256 is not supported: Windows documents only SHA1 for a manifest's file "
           u"hash (use -hash)";
  }
  if (SameIgnoringCase(key, u"size")) return takesNoValue(options.size);
  if (SameIgnoringCase(key, u"noverify")) return takesNoValue(options.noVerify);
  if (SameIgnoringCase(key, u"help") || key == u"h" || key == u"?") {
    return takesNoValue(options.help);
  }
  if (SameIgnoringCase(key, u"timeout")) {
    if (const auto seconds = Seconds(value)) {
      options.timeoutSeconds = *seconds;
      return {};
    }
    return u"option -timeout: needs a number of seconds from 1 to " +
           Decimal(kLongestTimeoutSeconds) + u", not \"" + std::u16string(value) + u"\"";
  }
  if (SameIgnoringCase(key, u"version")) {
    if (SameIgnoringCase(value, u"FileVersion")) {
      options.versionSource = VersionSource::FileVersion;
    } else if (SameIgnoringCase(value, u"ProductVersion")) {
      options.versionSource = VersionSource::ProductVersion;
    } else if (IsAssemblyVersion(value)) {
      options.versionSource = VersionSource::Explicit;
      options.version = std::u16string(value);
    } else {
      return u"option -version: needs a.b.c.d (each part 0 to 65535), FileVersion or "
             u"ProductVersion, not \"" +
             std::u16string(value) + u"\"";
    }
    return {};
  }
  return u"unknown option -" + std::u16string(option) + u" (see -help)";
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::u16string> arguments) {
  Options options;
  for (const std::u16string& argument : arguments) {
    if (!IsOption(argument)) {
      options.components.push_back(argument);
      continue;
    }
    std::u16string error = ApplyOption(std::u16string_view(argument).substr(1), options);
    if (!error.empty()) return {std::nullopt, std::move(error)};
    const std::u16string_view key = std::u16string_view(argument).substr(1, 7);
    if (SameIgnoringCase(key, u"report:")) {
      options.settings.push_back(u"-appendreport:" + options.report);
    } else if (!SameIgnoringCase(key.substr(0, 6), u"batch:")) {
      options.settings.push_back(argument);
    }
  }
  if (options.help) return {std::move(options), {}};
  if (options.components.empty() && options.batchFile.empty()) {
    return {std::nullopt, u"no component given (see -help)"};
  }
  if (options.embed && options.client.empty()) {
    return {std::nullopt, u"option -embed changes a client program's manifest and needs -client:"};
  }
  // One name for several components would give every manifest the same file.
  if (!options.name.empty() && (options.components.size() > 1 || !options.batchFile.empty())) {
    return {std::nullopt, u"option -name: names one assembly and cannot serve several components"};
  }
  return {std::move(options), {}};
}

std::u16string UsageText() {
  return u"Usage: regsvr42 [options] <component> [<component>...]\n"
         u"Writes <folder>\\<base name>.sxs.manifest, a registration-free COM manifest for an\n"
         u"in-process COM server, without registering it in the system registry.\n"
         u"\n"
         u"  -name:<name>        assembly name (default: <base name>.sxs)\n"
         u"  -version:<a.b.c.d>  assembly version (default: 1.0.0.0); -version:FileVersion or\n"
         u"                      -version:ProductVersion take it from the version resource\n"
         u"  -hash               add the SHA-1 hash of the component to its file element\n"
         u"  -size               add the component's size in bytes to its file element\n"
         u"  -dir:<folder>       write the manifest into <folder>\n"
         u"  -client:<exe>       also write <exe>.manifest depending on the component's assembly\n"
         u"  -embed              when the client carries its own manifest (a resource), add the\n"
         u"                      dependency to that manifest inside the program instead\n"
         u"  -batch:<file>       process the components listed in <file>, one a line\n"
         u"  -timeout:<seconds>  how long the component's code may take for each call (loading,\n"
         u"                      DllRegisterServer, type libraries; default 60, 1 to 3600)\n"
         u"  -noverify           write without first loading every class through the manifest\n"
         u"  -report:<file>      also write every line of the output to <file> (UTF-8)\n"
         u"  -help               show this text\n"
         u"\n"
         u"Exit code 0 when every manifest was written; otherwise an error line on standard error\n"
         u"and no manifest is written or changed.\n";
}

bool IsAssemblyVersion(std::u16string_view text) {
  int parts = 0;
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = text.find(u'.', start);
    const std::u16string_view part = text.substr(start, dot - start);
    if (part.empty() || part.size() > 5) return false;
    unsigned value = 0;
    for (char16_t c : part) {
      if (c < u'0' || c > u'9') return false;
      value = value * 10 + (c - u'0');
    }
    if (value > 65535) return false;
    ++parts;
    if (dot == std::u16string_view::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

std::vector<std::u16string> BatchComponents(std::u16string_view text) {
  std::vector<std::u16string> components;
  while (!text.empty()) {
    const std::size_t end = text.find(u'\n');
    std::u16string_view line = Trim(text.substr(0, end));
    text = end == std::u16string_view::npos ? std::u16string_view() : text.substr(end + 1);
    if (line.size() >= 2 && line.front() == u'"' && line.back() == u'"') {
      line = Trim(line.substr(1, line.size() - 2));
    }
    if (line.empty() || line.front() == u'#' || line.front() == u';') continue;
    components.emplace_back(line);
  }
  return components;
}

}  // namespace kestrelwing::regsvr42
