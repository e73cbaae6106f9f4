// The manifest generator's exit codes: the one list the generator ends with, the program explains
// to the user, and the manuals (docs/regsvr42.md, packaging/LEEME.txt) state.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace kestrelwing {

enum class GeneratorExitCode : int {
  Ok = 0,
  Usage = 1,               // bad command line
  FileMissing = 2,         // the component or the batch file is not there; the batch file unread
  NotComponent = 3,        // not a PE file, or a machine type this generator does not know
  OtherBitness = 4,        // the component has the other bitness and no sibling generator served it
  LoadFailed = 5,          // the component or a DLL it needs does not load
  NoRegisterExport = 6,    // no DllRegisterServer export
  RegisterFailed = 7,      // DllRegisterServer answered a failure HRESULT
  NothingRegistered = 8,   // DllRegisterServer registered no class of this file
  TypeLibraryFailed = 9,   // an embedded type library cannot be read
  RegistryFailed = 10,     // the temporary registry key cannot be set up
  WriteFailed = 11,        // a manifest cannot be written
  ComponentCrashed = 12,   // the component crashed while loading or registering
  ManifestRejected = 13,   // the manifest would not load, or a class failed the activation check
  ClientHasManifest = 14,  // the client program carries an embedded manifest
  TimedOut = 15,           // the component's code did not return within the time limit
  ReadFailed = 16,         // a file the generator needs cannot be read (or the component hashed)
  CheckNotRun = 17,        // the self-check could not start, or ended in a way it never ends
  Last = CheckNotRun,
};

// What one exit code means: in English as the generator's manual says it, and in Spanish as the
// program and its LEEME say it.
struct GeneratorExitMeaning {
  GeneratorExitCode code;
  std::u16string_view english;
  std::u16string_view spanish;
};

inline constexpr std::array<GeneratorExitMeaning, 18> kGeneratorExitMeanings = {{
    {GeneratorExitCode::Ok, u"every manifest was written", u"se escribieron todos los manifiestos"},
    {GeneratorExitCode::Usage, u"bad command line", u"la línea de órdenes no es válida"},
    {GeneratorExitCode::FileMissing,
     u"the component or the batch file cannot be found, or the batch file cannot be read",
     u"no se encuentra el componente o el archivo de lista, o no se puede leer el archivo de "
     u"lista"},
    {GeneratorExitCode::NotComponent,
     u"not a PE file, a machine other than x86/x64, or no version resource for "
     u"-version:FileVersion",
     u"no es un archivo PE de x86 o x64, o le falta el recurso de versión pedido"},
    {GeneratorExitCode::OtherBitness,
     u"a component of the other bitness and no generator of that bitness installed, or that "
     u"generator did not run or did not write the manifest",
     u"el componente es de la otra arquitectura y su generador no está instalado, no arrancó o "
     u"no escribió el manifiesto"},
    {GeneratorExitCode::LoadFailed,
     u"the component, or a DLL it needs (named when it can be found out), does not load",
     u"el componente, o una DLL que necesita, no se carga"},
    {GeneratorExitCode::NoRegisterExport, u"no DllRegisterServer export",
     u"el componente no exporta DllRegisterServer"},
    {GeneratorExitCode::RegisterFailed, u"DllRegisterServer failed (its HRESULT is shown)",
     u"DllRegisterServer falló"},
    {GeneratorExitCode::NothingRegistered,
     u"DllRegisterServer registered no class served by the component",
     u"DllRegisterServer no registró ninguna clase del componente"},
    {GeneratorExitCode::TypeLibraryFailed, u"an embedded type library cannot be read",
     u"no se puede leer una biblioteca de tipos incrustada"},
    {GeneratorExitCode::RegistryFailed, u"the temporary registry key cannot be set up",
     u"no se puede preparar la clave temporal del registro"},
    {GeneratorExitCode::WriteFailed, u"a manifest cannot be written",
     u"no se puede escribir un manifiesto"},
    {GeneratorExitCode::ComponentCrashed,
     u"the component crashed in its DllMain or DllRegisterServer (the exception code is shown)",
     u"el componente falló en DllMain o en DllRegisterServer"},
    {GeneratorExitCode::ManifestRejected,
     u"the manifest would not load on Windows, or a class failed the registration-free check",
     u"el manifiesto no cargaría en Windows, o una clase no superó la prueba sin registro"},
    {GeneratorExitCode::ClientHasManifest,
     u"the client program carries an embedded manifest (see -embed), or with -embed it is signed",
     u"el programa cliente lleva un manifiesto incrustado (véase -embed) o, con -embed, está "
     u"firmado"},
    {GeneratorExitCode::TimedOut, u"the component did not return in time",
     u"el componente no respondió a tiempo"},
    {GeneratorExitCode::ReadFailed,
     u"a file the generator needs (the component, the client program or its manifest) cannot be "
     u"read, or the component cannot be hashed",
     u"no se puede leer un archivo que el generador necesita (el componente, el programa cliente o "
     u"su manifiesto), o no se puede calcular el hash del componente"},
    {GeneratorExitCode::CheckNotRun,
     u"the self-check could not be started, or it ended without a result (the line says how); "
     u"nothing was written",
     u"la prueba sin registro no pudo empezar o terminó sin resultado; no se escribió nada"},
}};

// Every code is listed once, in order, so a code is its own position.
constexpr bool ListedInOrder() {
  for (std::size_t i = 0; i < kGeneratorExitMeanings.size(); ++i) {
    if (static_cast<std::size_t>(kGeneratorExitMeanings[i].code) != i) return false;
  }
  return kGeneratorExitMeanings.size() == static_cast<std::size_t>(GeneratorExitCode::Last) + 1;
}
static_assert(ListedInOrder());

// The meaning of an exit code the generator gives; none for any other number (a crash of the
// generator itself ends with an exception code).
constexpr std::optional<GeneratorExitMeaning> MeaningOfGeneratorExit(unsigned long exitCode) {
  if (exitCode >= kGeneratorExitMeanings.size()) return std::nullopt;
  return kGeneratorExitMeanings[exitCode];
}

}  // namespace kestrelwing
