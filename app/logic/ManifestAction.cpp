#include "ManifestAction.h"

#include <kestrelwing/cXml.h>

#include <array>
#include <optional>

#include "Actions.h"
#include "PathParts.h"
#include "WideText.h"

namespace kestrelwing {
namespace {

constexpr std::u16string_view kManifestSuffix = u".sxs.manifest";
constexpr std::int32_t kUtf16 = 2;  // cXml::EncodingId of a UTF-16 document

void ShowError(ActionHost& host, std::u16string_view prefix, std::u16string_view detail) {
  std::u16string message(prefix);
  message += detail;
  host.ShowMessage(message, MessageIcon::Error);
}

// What the generator's exit codes 1 to 13 mean.
constexpr std::array<std::u16string_view, 13> kGeneratorFailures = {
    u"la línea de órdenes no es válida",
    u"no se encuentra o no se puede leer el componente",
    u"no es un archivo PE de x86 o x64, o le falta el recurso de versión",
    u"el componente es de la otra arquitectura y su generador no está instalado o no escribió el "
    u"manifiesto",
    u"el componente, o una DLL que necesita, no se carga",
    u"el componente no exporta DllRegisterServer",
    u"DllRegisterServer falló",
    u"DllRegisterServer no registró ninguna clase del componente",
    u"no se puede leer una biblioteca de tipos del componente",
    u"no se puede preparar la clave temporal del registro",
    u"no se puede escribir el manifiesto",
    u"el componente falló en DllMain o en DllRegisterServer",
    u"la comprobación sin registro falló: algo del manifiesto no funciona a través de él",
};

std::u16string GeneratorFailure(std::uint32_t exitCode) {
  // Small codes in decimal; exception codes of a crashed generator as Windows shows them.
  std::u16string text = u"El generador terminó con el código ";
  text += exitCode <= 0xFFFF ? Decimal(exitCode) : HexCode(exitCode);
  if (exitCode >= 1 && exitCode <= kGeneratorFailures.size()) {
    text += u": ";
    text += kGeneratorFailures[exitCode - 1];
  }
  return text;
}

}  // namespace

std::u16string ManifestToolPath(std::u16string_view programFolder) {
  return std::u16string(programFolder) + u"\\tools\\regsvr42.exe";
}

std::u16string ManifestPathFor(std::u16string_view componentPath) {
  std::u16string manifestPath(componentPath.substr(0, FileNameStart(componentPath)));
  manifestPath += GetBaseName(componentPath);
  manifestPath += kManifestSuffix;
  return manifestPath;
}

void GenerateManifest(ActionHost& host, std::u16string_view componentPath) {
  const std::u16string toolPath = ManifestToolPath(host.ProgramFolder());
  // The manifest of the component the tool runs on, even if the box is edited meanwhile; a
  // manifest left by an earlier run must not pass for this run's.
  const std::u16string manifestPath = ManifestPathFor(componentPath);
  const std::optional<FileStamp> earlier = host.StampOf(manifestPath);
  const LaunchResult launch =
      host.RunElevated(toolPath, Quoted(componentPath), u"", ShowHidden, true);
  if (ReportFailedLaunch(host, launch, toolPath)) return;
  if (launch.exitCode.value_or(0) != 0) {
    host.ShowMessage(GeneratorFailure(*launch.exitCode), MessageIcon::Error);
    return;
  }
  if (!host.FileExists(manifestPath)) {
    ShowError(host, u"No se encontró el manifiesto ", manifestPath);
    return;
  }
  if (!WrittenSince(earlier, host.StampOf(manifestPath))) {
    ShowError(host, u"El generador no escribió el manifiesto ", manifestPath);
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
