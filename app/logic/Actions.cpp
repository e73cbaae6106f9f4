#include "Actions.h"

#include <algorithm>

#include "Launch.h"
#include "ManifestAction.h"

namespace kestrelwing {
namespace {

constexpr std::u16string_view kRegistrationTool = u"regsvr32.exe";

void Browse(ActionHost& host) {
  std::u16string selectedPath;
  if (host.ShowOpenDialog(selectedPath, u"", kComponentFilter)) {
    host.SetPathText(std::move(selectedPath));
  }
}

// Runs regsvr32 on path in a window of its own, with switches ("/u " unregisters) before it.
void RunRegistrationTool(ActionHost& host, std::u16string switches, std::u16string_view path) {
  const std::u16string parameters = std::move(switches) + Quoted(path);
  ReportFailedLaunch(host, host.RunElevated(kRegistrationTool, parameters, u"", ShowNormal, false),
                     kRegistrationTool);
}

}  // namespace

std::u16string CleanCommandLine(std::u16string_view commandLine) {
  std::u16string cleaned(commandLine);
  std::erase(cleaned, u'"');
  return cleaned;
}

void OnLoad(ActionHost& host, std::u16string_view commandLine) {
  if (!commandLine.empty()) host.SetPathText(CleanCommandLine(commandLine));
}

void OnBtnMainClick(ActionHost& host, std::int16_t index) {
  if (index == BtnBrowse) {
    Browse(host);
    return;
  }
  if (index < BtnGenerate || index > BtnUnregister) return;

  const std::u16string path = host.PathText();
  if (!IsLaunchablePath(path)) return;
  switch (index) {
    case BtnGenerate:
      GenerateManifest(host, path);
      break;
    case BtnRegister:
      RunRegistrationTool(host, u"", path);
      break;
    case BtnUnregister:
      RunRegistrationTool(host, u"/u ", path);
      break;
  }
}

}  // namespace kestrelwing
