#include "ManifestAction.h"

#include <kestrelwing/cXml.h>

#include <optional>

#include "GeneratorExitCodes.h"
#include "GeneratorReport.h"
#include "Launch.h"
#include "PathParts.h"
#include "WideText.h"

namespace kestrelwing {
namespace {

constexpr std::u16string_view kManifestSuffix = u".sxs.manifest";
constexpr std::int32_t kUtf16 = 2;  // cXml::EncodingId of a UTF-16 document

std::u16string GeneratorFailure(std::uint32_t exitCode) {
  // Small codes in decimal; exception codes of a crashed generator as Windows shows them.
  std::u16string text = u"El generador terminó con el código ";
  text += exitCode <= 0xFFFF ? Decimal(exitCode) : HexCode(exitCode);
  if (const auto meaning = MeaningOfGeneratorExit(exitCode)) {
    text += u": ";
    text += meaning->spanish;
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
  // The generator writes what it says into a fresh file of this run's own; without one it runs
  // all the same.
  const std::optional<std::u16string> reportPath = host.CreateTemporaryFile();
  std::u16string parameters;
  if (reportPath) parameters = u"-report:" + Quoted(*reportPath) + u" ";
  parameters += Quoted(componentPath);
  const LaunchResult launch =
      RunTool(host, Activity::Generating, toolPath, parameters, ShowHidden, true);
  // Read and removed however the run went; shown under every message about the run.
  const std::u16string report = reportPath ? ReportSection(TakeReport(*reportPath)) : u"";
  if (ReportFailedLaunch(host, launch, toolPath)) return;
  auto tell = [&](std::u16string message, MessageIcon icon) {
    host.ShowMessage(message + report, icon);
  };
  if (launch.exitCode.value_or(0) != 0) {
    tell(GeneratorFailure(*launch.exitCode), MessageIcon::Error);
    return;
  }
  if (!host.FileExists(manifestPath)) {
    tell(u"No se encontró el manifiesto " + manifestPath, MessageIcon::Error);
    return;
  }
  if (!WrittenSince(earlier, host.StampOf(manifestPath))) {
    tell(u"El generador no escribió el manifiesto " + manifestPath, MessageIcon::Error);
    return;
  }

  cXml manifest;
  // UTF-16 XML needs its byte-order mark to be readable; UTF-8 and narrow text go without one.
  const bool processed = manifest.Parse(manifestPath) &&
                         manifest.Save(manifestPath, true, 0, manifest.EncodingId() == kUtf16, -1);
  if (!processed) {
    tell(u"No se pudo procesar el manifiesto: " + manifest.Result(), MessageIcon::Error);
    return;
  }
  tell(u"SxS Generado", MessageIcon::Information);
}

}  // namespace kestrelwing
