// regsvr42: writes a registration-free COM manifest for an in-process COM server.
#include <windows.h>

#include <ole2.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include <kestrelwing/cXmlNode.h>

#include "CrashGuard.h"
#include "Failure.h"
#include "FileContents.h"
#include "Generator.h"
#include "Options.h"
#include "OutputLine.h"
#include "Report.h"
#include "SelfCheck.h"
#include "WideText.h"

namespace {

using namespace kestrelwing::regsvr42;
using kestrelwing::FromWide;
using kestrelwing::ToWide;

// The components named by the batch file, decoded as UTF-8 (a byte-order mark is skipped); none
// when the file cannot be read.
std::optional<std::vector<std::u16string>> ReadBatch(const std::u16string& batchFile) {
  const auto bytes = kestrelwing::platform::ReadWholeFile(batchFile);
  if (!bytes) return std::nullopt;
  std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return BatchComponents(kestrelwing::FromUtf8(text));
}

int Run(const std::vector<std::u16string>& arguments) {
  const ParsedOptions parsed = ParseOptions(arguments);
  if (!parsed.options) {
    WriteLine(stderr, u"regsvr42: " + parsed.error);
    return static_cast<int>(ExitCode::Usage);
  }
  const Options& options = *parsed.options;
  if (!options.report.empty()) OpenReport(ToWide(options.report), options.appendReport);
  if (options.help) {
    WriteLine(stdout, UsageText());
    return 0;
  }

  std::vector<std::u16string> components = options.components;
  if (!options.batchFile.empty()) {
    const auto listed = ReadBatch(options.batchFile);
    if (!listed) {
      WriteLine(stderr, u"regsvr42: cannot read the batch file " + options.batchFile);
      return static_cast<int>(ExitCode::FileMissing);
    }
    components.insert(components.end(), listed->begin(), listed->end());
  }

  // Every component is tried; the exit code is that of the first failure.
  int exitCode = 0;
  for (const std::u16string& component : components) {
    try {
      const Generated generated = GenerateManifest(ToWide(component), options);
      for (const std::u16string& warning : generated.warnings) {
        WriteLine(stderr, u"regsvr42: warning: " + component + u": " + warning);
      }
      for (const std::wstring& written : generated.written) {
        WriteLine(stdout, u"regsvr42: wrote " + FromWide(written));
      }
      for (const std::u16string& notice : generated.notices) {
        WriteLine(stdout, u"regsvr42: " + notice);
      }
    } catch (const Failure& failure) {
      if (!failure.Message().empty()) {
        WriteLine(stderr, u"regsvr42: error: " + component + u": " + failure.Message());
      }
      if (exitCode == 0) exitCode = static_cast<int>(failure.Code());
    } catch (const std::exception& error) {
      WriteLine(stderr,
                u"regsvr42: error: " + component + u": " + kestrelwing::FromUtf8(error.what()));
      if (exitCode == 0) exitCode = static_cast<int>(ExitCode::WriteFailed);
    }
  }
  return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Registration code may show no dialog of its own while we run hidden.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
  InstallCrashGuard();
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i)
    arguments.push_back(FromWide(argv[i]));
  // The check mode enters COM on threads of its own: the first of them is to be the process's
  // main single-threaded apartment, where COM makes a class that names no threading model.
  if (IsCheckMode(arguments)) return RunCheckMode(arguments);
  const HRESULT initialized = OleInitialize(nullptr);
  const int exitCode = Run(arguments);
  if (SUCCEEDED(initialized)) OleUninitialize();
  return exitCode;
}
