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
void RunRegistrationTool(ActionHost& host, Activity activity, std::u16string switches,
                         std::u16string_view path) {
  const std::u16string parameters = std::move(switches) + Quoted(path);
  ReportFailedLaunch(host,
                     RunTool(host, activity, kRegistrationTool, parameters, ShowNormal, false),
                     kRegistrationTool);
}

void RunAction(ActionHost& host, std::int16_t index) {
  if (index == BtnBrowse) {
    Browse(host);
    return;
  }
  const std::u16string path = host.PathText();
  if (!IsLaunchablePath(path)) return;
  switch (index) {
    case BtnGenerate:
      GenerateManifest(host, path);
      break;
    case BtnRegister:
      RunRegistrationTool(host, Activity::Registering, u"", path);
      break;
    case BtnUnregister:
      RunRegistrationTool(host, Activity::Unregistering, u"/u ", path);
      break;
  }
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

std::u16string CloseQuestion(std::int16_t index) {
  std::u16string_view doing = u"eligiendo un componente";
  if (index == BtnGenerate) doing = u"generando el manifiesto SxS";
  if (index == BtnRegister) doing = u"registrando el componente";
  if (index == BtnUnregister) doing = u"desregistrando el componente";
  return u"Kestrelwing está " + std::u16string(doing) +
         u" y no interrumpe la acción en curso.\n\n¿Cerrar la ventana cuando termine?";
}

void FrmMainActions::OnBtnMainClick(std::int16_t index) {
  if (running_ || index < BtnBrowse || index > BtnUnregister) return;
  // Over on every way out, an exception included.
  struct Over {
    std::optional<std::int16_t>& running;
    ~Over() { running.reset(); }
  };
  {
    running_ = index;
    const Over over{running_};
    RunAction(host_, index);
  }
  if (closeWhenDone_) {
    closeWhenDone_ = false;
    host_.CloseWindow();
  }
}

bool FrmMainActions::OnCloseRequest() {
  if (!running_) return true;
  if (asking_ || closeWhenDone_) return false;  // asked already
  asking_ = true;
  const bool close = host_.AskYesNo(CloseQuestion(*running_));
  asking_ = false;
  if (!close) return false;
  if (!running_) return true;  // the action ended while the question was open
  closeWhenDone_ = true;
  return false;
}

}  // namespace kestrelwing
