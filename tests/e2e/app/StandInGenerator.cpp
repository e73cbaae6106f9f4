// A stand-in for the manifest generator, for the end-to-end tests: called with a component's
// path (after any options), it copies standin-manifest.bin from its own folder to the component's
// manifest (the component's folder, its name without extension, ".sxs.manifest") and records its
// command line in standin-command.txt beside itself. Without standin-manifest.bin it writes no
// manifest. When standin-delay-ms.txt holds a number, it first waits that many milliseconds; when
// standin-exit-code.txt holds one, it ends with that exit code.
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

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
  std::ofstream(folder / L"standin-command.txt", std::ios::binary) << Utf8(GetCommandLineW());
  // The component comes last: a generator hands its sibling the options before it.
  if (argc < 2) return 2;

  int delay = 0;
  if (std::ifstream(folder / L"standin-delay-ms.txt") >> delay) Sleep(static_cast<DWORD>(delay));

  fs::path manifest(argv[argc - 1]);
  manifest.replace_extension();
  manifest += L".sxs.manifest";
  int exitCode = 0;
  std::ifstream(folder / L"standin-exit-code.txt") >> exitCode;
  const fs::path source = folder / L"standin-manifest.bin";
  if (!fs::exists(source)) return exitCode;
  return CopyFileW(source.c_str(), manifest.c_str(), FALSE) ? exitCode : 1;
}
