#include "Launch.h"

namespace kestrelwing {

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

bool ReportFailedLaunch(ActionHost& host, const LaunchResult& launch, std::u16string_view program) {
  if (launch.launched) return false;
  if (launch.error != kElevationDeclined) {
    host.ShowMessage(u"No se pudo ejecutar " + std::u16string(program), MessageIcon::Error);
  }
  return true;
}

}  // namespace kestrelwing
