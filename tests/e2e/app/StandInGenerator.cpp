// A stand-in for the manifest generator, for the end-to-end tests: called with a component's
// path (after any options), it copies standin-manifest.bin from its own folder to the component's
// manifest (the component's folder, its name without extension, ".sxs.manifest") and records its
// command line in standin-command.txt beside itself, and as one more line of standin-runs.txt.
// Without standin-manifest.bin it writes no manifest. Given -report:<file>, it copies
// standin-report.bin there when that exists. When standin-delay-ms.txt holds a number, it first
// waits that many milliseconds, and while standin-hold exists beside it (at most a minute), until
// it is removed; when standin-exit-code.txt holds a number, it ends with that exit code.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "Utf8.h"

namespace fs = std::filesystem;

namespace {

fs::path OwnFolder() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return fs::path(path).parent_path();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const fs::path folder = OwnFolder();
  const std::string commandLine = Utf8(GetCommandLineW());
  std::ofstream(folder / L"standin-command.txt", std::ios::binary) << commandLine;
  std::ofstream(folder / L"standin-runs.txt", std::ios::binary | std::ios::app)
      << commandLine << "\n";
  // The component comes last: a generator hands its sibling the options before it.
  if (argc < 2) return 2;

  int delay = 0;
  if (std::ifstream(folder / L"standin-delay-ms.txt") >> delay) Sleep(static_cast<DWORD>(delay));
  for (int waited = 0; waited < 600 && fs::exists(folder / L"standin-hold"); ++waited)
    Sleep(100);

  const std::wstring_view reportOption = L"-report:";
  for (int i = 1; i < argc - 1; ++i) {
    const std::wstring_view argument = argv[i];
    const fs::path report = folder / L"standin-report.bin";
    if (argument.starts_with(reportOption) && fs::exists(report)) {
      CopyFileW(report.c_str(), std::wstring(argument.substr(reportOption.size())).c_str(), FALSE);
    }
  }

  fs::path manifest(argv[argc - 1]);
  manifest.replace_extension();
  manifest += L".sxs.manifest";
  int exitCode = 0;
  std::ifstream(folder / L"standin-exit-code.txt") >> exitCode;
  const fs::path source = folder / L"standin-manifest.bin";
  if (!fs::exists(source)) return exitCode;
  return CopyFileW(source.c_str(), manifest.c_str(), FALSE) ? exitCode : 1;
}
