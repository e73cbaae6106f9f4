#include "Actions.h"

#include <algorithm>

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

std::u16string Quoted(std::u16string_view path) {
  std::u16string quoted;
  quoted.reserve(path.size() + 2);
  quoted += u'"';
  quoted += path;
  quoted += u'"';
  return quoted;
}

std::u16string CleanCommandLine(std::u16string_view commandLine) {
  std::u16string cleaned(commandLine);
  std::erase(cleaned, u'"');
  return cleaned;
}

bool ReportFailedLaunch(ActionHost& host, const LaunchResult& launch, std::u16string_view program) {
  if (launch.launched) return false;
  if (launch.error != kElevationDeclined) {
    host.ShowMessage(u"No se pudo ejecutar " + std::u16string(program), MessageIcon::Error);
  }
  return true;
}

bool IsLaunchablePath(std::u16string_view path) {
  return !path.empty() && path.find(u'"') == std::u16string_view::npos;
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
