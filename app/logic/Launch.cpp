#include "Launch.h"

namespace kestrelwing {

std::u16string BusyCaption(Activity activity) {
  std::u16string caption(kProgramTitle);
  switch (activity) {
    case Activity::Generating:
      return caption + u" - Generando SxS...";
    case Activity::Registering:
      return caption + u" - Registrando...";
    case Activity::Unregistering:
      return caption + u" - Desregistrando...";
  }
  return caption;
}

std::u16string Quoted(std::u16string_view path) {
  std::u16string quoted;
  quoted.reserve(path.size() + 2);
  quoted += u'"';
  quoted += path;
  quoted += u'"';
  return quoted;
}

bool IsLaunchablePath(std::u16string_view path) {
  return !path.empty() && path.find(u'"') == std::u16string_view::npos;
}

LaunchResult RunTool(ActionHost& host, Activity activity, std::u16string_view fileToRun,
                     std::u16string_view parameters, ShowCommand showCommand, bool waitForExit) {
  // Normal again on every way out, an exception from the wait included.
  struct NormalAfterwards {
    ActionHost& host;
    ~NormalAfterwards() { host.ShowBusy(false, kProgramTitle); }
  };
  host.ShowBusy(true, BusyCaption(activity));
  const NormalAfterwards normal{host};
  return host.RunElevated(fileToRun, parameters, u"", showCommand, waitForExit);
}

bool ReportFailedLaunch(ActionHost& host, const LaunchResult& launch, std::u16string_view program) {
  if (launch.launched) return false;
  if (launch.error != kElevationDeclined) {
    host.ShowMessage(u"No se pudo ejecutar " + std::u16string(program), MessageIcon::Error);
  }
  return true;
}

}  // namespace kestrelwing
