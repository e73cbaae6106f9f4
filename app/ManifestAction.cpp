#include "ManifestAction.h"

#include <kestrelwing/cXml.h>

#include "Actions.h"
#include "Global.h"

namespace kestrelwing {
namespace {

constexpr std::u16string_view kManifestSuffix = u".sxs.manifest";
constexpr std::int32_t kUtf16 = 2;  // cXml::EncodingId of a UTF-16 document

void ShowError(ActionHost& host, std::u16string_view prefix, std::u16string_view detail) {
  std::u16string message(prefix);
  message += detail;
  host.ShowMessage(message, MessageIcon::Error);
}

}  // namespace

std::u16string ManifestToolPath(std::u16string_view programFolder) {
  return std::u16string(programFolder) + u"\\tools\\regsvr42.exe";
}

std::u16string ManifestPathFor(std::u16string_view componentPath) {
  // GetFolderPart answers a path without any separator unchanged: such a path has no folder.
  const bool hasFolder = componentPath.find_last_of(kPathSeparators) != std::u16string_view::npos;
  std::u16string manifestPath = hasFolder ? GetFolderPart(componentPath) : std::u16string();
  manifestPath += GetBaseName(componentPath);
  manifestPath += kManifestSuffix;
  return manifestPath;
}

void GenerateManifest(ActionHost& host, std::u16string_view componentPath) {
  const std::u16string toolPath = ManifestToolPath(host.ProgramFolder());
  if (host.RunElevated(toolPath, Quoted(componentPath), u"", ShowHidden, true) == 0) {
    ShowError(host, u"No se pudo ejecutar ", toolPath);
    return;
  }

  // The manifest of the component the tool ran on, even if the box was edited meanwhile.
  const std::u16string manifestPath = ManifestPathFor(componentPath);
  if (!host.FileExists(manifestPath)) {
    ShowError(host, u"No se encontró el manifiesto ", manifestPath);
    return;
  }

  cXml manifest;
  // UTF-16 XML needs its byte-order mark to be readable; UTF-8 and narrow text go without one.
  const bool processed = manifest.Parse(manifestPath) &&
                         manifest.Save(manifestPath, true, 0, manifest.EncodingId() == kUtf16, -1);
  if (!processed) {
    ShowError(host, u"No se pudo procesar el manifiesto: ", manifest.Result());
    return;
  }
  host.ShowMessage(u"SxS Generado", MessageIcon::Information);
}

}  // namespace kestrelwing
