#include "Generator.h"

#include <windows.h>

#include <ole2.h>

#include <memory>
#include <optional>

#include "ClientProgram.h"
#include "ComponentFile.h"
#include "CrashGuard.h"
#include "DeclinedClasses.h"
#include "Failure.h"
#include "Files.h"
#include "ManifestBuilder.h"
#include "ManifestRules.h"
#include "OutputLine.h"
#include "PathParts.h"
#include "Paths.h"
#include "PeHeader.h"
#include "PendingFile.h"
#include "RegistryCapture.h"
#include "Report.h"
#include "SelfCheck.h"
#include "Sibling.h"
#include "SystemInfo.h"
#include "TimeLimits.h"
#include "TypeLibraries.h"
#include "WatchedThread.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr wchar_t kDefaultVersion[] = L"1.0.0.0";

// The first DLL of the import table that cannot be found, looking beside the component first.
std::optional<std::wstring> MissingImport(const std::wstring& componentPath,
                                          const std::vector<std::uint8_t>& bytes) {
  for (const std::string& name : ImportedModules(bytes)) {
    const std::wstring module(name.begin(), name.end());
    const std::wstring beside = FolderOf(componentPath) + L"\\" + module;
    if (GetFileAttributesW(beside.c_str()) != INVALID_FILE_ATTRIBUTES) continue;
    if (!LoadedModule(LoadLibraryExW(module.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES))) {
      return module;
    }
  }
  return std::nullopt;
}

LoadedModule LoadComponent(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
  // Errors are reported here, not in message boxes of the system.
  const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD error = GetLastError();
  SetErrorMode(previousMode);
  if (module != nullptr) return LoadedModule(module);
  if (error == ERROR_MOD_NOT_FOUND || error == ERROR_DLL_NOT_FOUND) {
    if (const auto missing = MissingImport(path, bytes)) {
      throw Failure(ExitCode::LoadFailed,
                    u"the component needs " + FromWide(*missing) + u", which cannot be found");
    }
  }
  throw Failure(ExitCode::LoadFailed,
                u"the component or a DLL it needs does not load (" + DescribeError(error) + u")");
}

// Checks the file is a PE image of a known machine; answers its architecture.
Architecture InspectComponent(const std::vector<std::uint8_t>& bytes) {
  const PeHeader header = ReadPeHeader(bytes);
  if (header.status == PeStatus::NotPe) {
    throw Failure(ExitCode::NotComponent, u"not a PE file (DLL or OCX)");
  }
  if (header.status == PeStatus::UnsupportedMachine) {
    throw Failure(ExitCode::NotComponent,
                  u"built for machine type " + HexCode(header.machine) + u", neither x86 nor x64");
  }
  return header.architecture;
}

// A class without a TypeLib key takes the library whose coclass describes it.
void CompleteTypeLibraryIds(std::vector<ComClass>& classes, const TypeLibraryContents& contents) {
  for (ComClass& comClass : classes) {
    if (!comClass.typeLibraryId.empty()) continue;
    for (const CoClassOrigin& origin : contents.coClasses) {
      if (origin.clsid == comClass.clsid) {
        comClass.typeLibraryId = origin.typeLibraryId;
        break;
      }
    }
  }
}

std::u16string AssemblyVersion(const std::wstring& path, const Options& options) {
  switch (options.versionSource) {
    case VersionSource::Explicit:
      return options.version;
    case VersionSource::FileVersion:
    case VersionSource::ProductVersion:
      return VersionFromResource(path, options.versionSource);
    case VersionSource::Default:
      break;
  }
  return FromWide(kDefaultVersion);
}

// Windows uses a program's embedded manifest (resource 1 of type RT_MANIFEST) and then never
// reads <exe>.manifest beside it: writing that file would change nothing the program sees. With
// -embed that manifest is the one changed, read here before the component is loaded; a signed
// program is refused now too.
std::unique_ptr<EmbeddedManifestUpdate> EmbeddedClientManifest(const std::wstring& clientPath,
                                                               const Options& options) {
  if (!IsFile(clientPath)) return nullptr;
  std::vector<std::uint8_t> bytes = ReadFileOrFail(clientPath);
  if (!HasEmbeddedManifest(bytes)) return nullptr;
  if (!options.embed) {
    throw Failure(ExitCode::ClientHasManifest,
                  FromWide(clientPath) +
                      u" carries its own manifest (resource 1 of type RT_MANIFEST); Windows uses "
                      u"that embedded manifest and not " +
                      FromWide(clientPath) +
                      u".manifest, so nothing was written (-embed adds the dependency to the "
                      u"embedded manifest)");
  }
  return std::make_unique<EmbeddedManifestUpdate>(clientPath, std::move(bytes));
}

// A manifest that breaks a rule of Windows' loader is never written: the tree, then its bytes.
// Answers the bytes to write.
std::string LoadableBytes(cXml& document, const std::wstring& destination,
                          std::optional<std::u16string> broken) {
  std::string bytes;
  if (!broken) {
    bytes = ManifestBytes(document);
    if (bytes.empty()) {
      throw Failure(ExitCode::WriteFailed,
                    u"cannot write " + FromWide(destination) + u": " + document.Result());
    }
    broken = CheckManifestBytes(
        std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
  }
  if (broken) {
    throw Failure(ExitCode::ManifestRejected, u"the manifest would not load on Windows: " +
                                                  *broken + u" (" + FromWide(destination) + u")");
  }
  return bytes;
}

// The client's identity for a new manifest: named after the program, of its architecture.
AssemblyIdentity ClientIdentity(const std::wstring& clientPath,
                                const AssemblyIdentity& dependency) {
  AssemblyIdentity client{GetBaseName(FromWide(clientPath)), FromWide(kDefaultVersion),
                          dependency.architecture};
  if (IsFile(clientPath)) {
    const PeHeader header = ReadPeHeader(ReadFileOrFail(clientPath));
    if (header.status == PeStatus::Ok) client.architecture = header.architecture;
  }
  return client;
}

// Reads a client's manifest, which `where` names, from its bytes.
void ReadClientManifest(cXml& document, std::span<const std::uint8_t> bytes,
                        const std::u16string& where) {
  // A manifest from outside is read as the XML 1.0 it is, and written back with all it holds
  // (comments, processing instructions, what its references mean); read as bytes, since the path
  // overload of Parse also takes URLs and XML text for sources.
  document.SetSyntax(XmlSyntax::Xml10);
  if (!document.Parse(bytes)) {
    throw Failure(ExitCode::ReadFailed,
                  u"the client manifest " + where + u" cannot be read: " + document.Result());
  }
}

// Adds the dependency to what the client's manifest already holds, under the rules; answers the
// bytes to write.
std::string AddLoadableDependency(cXml& document, const std::wstring& clientPath,
                                  const AssemblyIdentity& dependency,
                                  const std::wstring& destination) {
  std::optional<std::u16string> broken =
      AddClientDependency(document, ClientIdentity(clientPath, dependency), dependency);
  if (!broken) broken = CheckClientManifest(document, dependency);
  return LoadableBytes(document, destination, broken);
}

// The client's application manifest, with the dependency added to what it already holds.
void AddClientManifest(PendingFiles& pending, const std::wstring& clientPath,
                       const AssemblyIdentity& dependency) {
  const std::wstring manifestPath = clientPath + L".manifest";
  cXml document;
  if (GetFileAttributesW(manifestPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
    document.SetRoot(nullptr);  // no manifest yet: a new one is made
  } else {
    ReadClientManifest(document, ReadFileOrFail(manifestPath), FromWide(manifestPath));
  }
  pending.Add(AddLoadableDependency(document, clientPath, dependency, manifestPath), manifestPath);
}

// The manifest embedded in the client, with the dependency added, ready in a copy of the program.
void AddEmbeddedClientManifest(EmbeddedManifestUpdate& update, const AssemblyIdentity& dependency) {
  cXml document;
  ReadClientManifest(document, update.Manifest(), u"embedded in " + FromWide(update.Program()));
  update.Prepare(AddLoadableDependency(document, update.Program(), dependency, update.Program()));
}

std::u16string AssemblyName(const std::wstring& path, const Options& options) {
  return options.name.empty() ? DefaultAssemblyName(FromWide(path)) : options.name;
}

// The component's manifest, named after the assembly so that the loader finds it beside a client.
std::wstring ComponentDestination(const std::wstring& path, const Options& options) {
  const std::wstring folder =
      options.directory.empty() ? FolderOf(path) : FullPath(ToWide(options.directory));
  return folder + L"\\" + ToWide(AssemblyName(path, options)) + L".manifest";
}

// The files a run on the component at `path` writes: its manifest, then the client's.
std::vector<std::wstring> Destinations(const std::wstring& path, const Options& options) {
  std::vector<std::wstring> files{ComponentDestination(path, options)};
  if (!options.client.empty()) {
    // With -embed a client carrying its own manifest is itself rewritten.
    const std::wstring client = FullPath(ToWide(options.client));
    const bool embedded =
        options.embed && IsFile(client) && HasEmbeddedManifest(ReadFileOrFail(client));
    files.push_back(embedded ? client : client + L".manifest");
  }
  return files;
}

// A component of the other bitness goes to the generator of that bitness, with the same options.
// Its exit code alone is not trusted: a generator that could not really run (a system that starts
// programs of that bitness only halfway) may end with 0, so every file it was to write must have
// been written during the hand-over.
void HandOverToSibling(const std::wstring& path, Architecture architecture,
                       const Options& options) {
  const std::u16string bitness = architecture == Architecture::Amd64 ? u"64-bit" : u"32-bit";
  const std::u16string folder = architecture == Architecture::Amd64 ? u"x64" : u"x86";
  const auto sibling = FindSiblingGenerator(architecture);
  if (!sibling) {
    throw Failure(ExitCode::OtherBitness,
                  u"a " + bitness + u" component; it needs the " + folder +
                      u" generator, which is not installed beside this one");
  }
  const std::vector<std::wstring> destinations = Destinations(path, options);
  std::vector<std::optional<FileStamp>> before;
  for (const std::wstring& destination : destinations)
    before.push_back(StampOf(destination));

  const unsigned long limit = HandOverLimitSeconds(options.timeoutSeconds);
  // A report this generator cannot write is not handed on: that is said once, here.
  std::vector<std::u16string> settings = options.settings;
  if (ReportPath().empty()) {
    std::erase_if(settings, [](const std::u16string& setting) {
      return setting.starts_with(u"-appendreport:");
    });
  }
  const ChildRun run = RunSiblingGenerator(*sibling, settings, path, limit);
  const std::u16string generator = u"the " + folder + u" generator " + FromWide(*sibling);
  if (run.outcome == ChildRun::Outcome::NotStarted) {
    throw Failure(ExitCode::OtherBitness, u"a " + bitness + u" component, and " + generator +
                                              u" cannot be started (" + DescribeError(run.error) +
                                              u")");
  }
  if (run.outcome == ChildRun::Outcome::TimedOut) {
    throw Failure(ExitCode::TimedOut, u"did not return from " + generator + u" within " +
                                          Decimal(limit) + u" s; it was ended");
  }
  const int code = run.exitCode;
  // A failure of its own: the sibling has said what went wrong on the same standard error.
  if (code > 0 && code <= static_cast<int>(ExitCode::Last)) {
    throw Failure(static_cast<ExitCode>(code), u"");
  }
  if (code != 0) {
    throw Failure(ExitCode::OtherBitness, generator + u" ended with exit code " +
                                              HexCode(static_cast<std::uint32_t>(code)) +
                                              u" and wrote nothing");
  }
  std::u16string missing;
  for (std::size_t i = 0; i < destinations.size(); ++i) {
    if (WrittenSince(before[i], StampOf(destinations[i]))) continue;
    missing += (missing.empty() ? u"" : u", ") + FromWide(destinations[i]);
  }
  if (!missing.empty()) {
    throw Failure(ExitCode::OtherBitness,
                  generator + u" ended with exit code 0 but did not write " + missing);
  }
}

// The component loaded on its thread, unloaded there too: freeing it runs its DllMain again.
class WatchedModule {
 public:
  WatchedModule(WatchedThread& thread, const std::wstring& path,
                const std::vector<std::uint8_t>& bytes)
      : thread_(thread),
        module_(thread.Run(u"DllMain", [&] { return LoadComponent(path, bytes); })) {}
  WatchedModule(const WatchedModule&) = delete;
  WatchedModule& operator=(const WatchedModule&) = delete;
  ~WatchedModule() {
    thread_.Run(u"DllMain", [this] { module_.reset(); });
  }
  HMODULE get() const { return module_.get(); }

 private:
  WatchedThread& thread_;
  LoadedModule module_;
};

// Registers the component into the temporary key and reads its type libraries. Everything that
// runs the component's code runs on a thread of its own, each call within the time limit.
void DescribeComponent(const std::wstring& component, const std::wstring& path,
                       const std::vector<std::uint8_t>& bytes, unsigned timeoutSeconds,
                       ComponentManifest& manifest, std::vector<std::u16string>& warnings) {
  WatchedThread componentThread(FromWide(component), timeoutSeconds);
  CapturedRegistration captured;
  {
    // Loading runs the component's DllMain; the module is freed once its registration is read.
    const CrashContext crash(FromWide(component), u"DllMain or DllRegisterServer");
    const WatchedModule module(componentThread, path, bytes);
    captured = CaptureRegistration(module.get(), path, componentThread);
  }
  manifest.classes = std::move(captured.classes);
  warnings = std::move(captured.warnings);
  TypeLibraryContents contents = componentThread.Run(u"LoadTypeLibEx", [&] {
    TypeLibraryContents read = ReadTypeLibraries(path);
    for (const std::wstring& file : captured.typeLibraryFiles)
      ReadTypeLibraryFile(file, read);
    return read;
  });
  CompleteTypeLibraryIds(manifest.classes, contents);
  manifest.typeLibraries = std::move(contents.libraries);
  manifest.typeLibraryFiles = std::move(contents.files);
  manifest.interfaces = std::move(contents.interfaces);
  AddRegisteredInterfaces(captured.interfaces, contents.describedIids, manifest);
}

// The self-check on the pending manifests. Classes the component declines leave the manifest, each
// named in a line; the manifest is then made again and checked again as it will be written. A
// component that declines every class has nothing worth writing.
template <class Prepare>
void VerifyLeavingOutDeclined(const std::wstring& component, const std::wstring& path,
                              const std::wstring& client, const EmbeddedManifestUpdate* embedded,
                              const Options& options, ComponentManifest& manifest,
                              std::optional<PendingFiles>& pending, const Prepare& prepare) {
  std::vector<DeclinedClass> allDeclined;
  for (;;) {
    const std::vector<std::wstring> finished = pending->Finish();
    const std::vector<DeclinedClass> declined = VerifyManifests(
        {FromWide(component), path, finished.front(), pending->Destinations().front(), client,
         client.empty() ? L""
         : embedded     ? embedded->ManifestFile()
                        : finished.back(),
         options.timeoutSeconds});
    if (declined.empty()) return;
    allDeclined.insert(allDeclined.end(), declined.begin(), declined.end());
    const std::size_t before = manifest.classes.size();
    const std::vector<std::u16string> lines = LeaveOutDeclined(manifest, declined);
    if (lines.size() != declined.size() || lines.size() > before) {
      throw Failure(ExitCode::CheckNotRun,
                    u"the self-check named declined classes the manifest does not hold");
    }
    if (manifest.classes.empty()) {
      std::u16string list;
      for (const DeclinedClass& entry : allDeclined)
        list += (list.empty() ? u"" : u", ") + entry.clsid + u" " + HexCode(entry.code);
      throw Failure(ExitCode::ManifestRejected,
                    u"the component serves none of the classes its registration names (its own "
                    u"DllGetClassObject declines each: " +
                        list + u"); nothing was written");
    }
    for (const std::u16string& line : lines)
      WriteLine(stdout, u"regsvr42: " + line);
    prepare();
  }
}

}  // namespace

Generated GenerateManifest(const std::wstring& component, const Options& options) {
  const std::wstring path = FullPath(component);
  if (!IsFile(path)) {
    throw Failure(ExitCode::FileMissing, u"cannot find the component " + FromWide(path));
  }
  const std::vector<std::uint8_t> bytes = ReadFileOrFail(path);
  const Architecture architecture = InspectComponent(bytes);
  if (architecture != kOwnArchitecture) {
    HandOverToSibling(path, architecture, options);
    return {};
  }

  // Everything that needs no code of the component is settled before it runs.
  ComponentManifest manifest;
  manifest.identity.name = AssemblyName(path, options);
  manifest.identity.version = AssemblyVersion(path, options);
  manifest.identity.architecture = architecture;
  manifest.fileName = GetFileName(FromWide(path));
  if (options.sha1) manifest.hash = HashBytes(bytes);
  if (options.size) manifest.size = bytes.size();
  const std::wstring client = options.client.empty() ? L"" : FullPath(ToWide(options.client));
  const std::unique_ptr<EmbeddedManifestUpdate> embedded =
      client.empty() ? nullptr : EmbeddedClientManifest(client, options);

  Generated generated;
  DescribeComponent(component, path, bytes, options.timeoutSeconds, manifest, generated.warnings);

  const std::wstring destination = ComponentDestination(path, options);
  const ComponentPlacement placement{
      GetFileName(FromWide(destination)),
      IsFile(FolderOf(destination) + L"\\" + ToWide(manifest.identity.name) + L".dll")};
  // The manifests as they are to be written, made again when classes are left out.
  std::optional<PendingFiles> pending;
  auto prepare = [&] {
    pending.emplace();
    cXml document;
    BuildComponentManifest(manifest, document);
    pending->Add(LoadableBytes(document, destination,
                               CheckComponentManifest(document, manifest.identity, placement)),
                 destination);
    if (!embedded && !client.empty()) AddClientManifest(*pending, client, manifest.identity);
  };
  prepare();
  if (embedded) AddEmbeddedClientManifest(*embedded, manifest.identity);
  if (!options.noVerify)
    VerifyLeavingOutDeclined(component, path, client, embedded.get(), options, manifest, pending,
                             prepare);
  // The program is replaced last: until the assembly's manifest is in place it could not start.
  pending->Commit();
  generated.written = pending->Destinations();
  if (embedded) {
    embedded->Commit();
    generated.written.push_back(client);
    generated.notices.push_back(u"the manifest embedded in " + FromWide(client) +
                                u" now depends on " + manifest.identity.name +
                                u"; its last-write time is now, so Windows makes a new "
                                u"activation context for it");
  } else if (!client.empty()) {
    // Windows may keep an activation context it cached for the program until the program changes.
    if (const auto failure = RenewLastWriteTime(client)) {
      generated.warnings.push_back(*failure +
                                   u"; Windows may go on using the activation context "
                                   u"it cached for the program before its manifest "
                                   u"changed");
    } else {
      generated.notices.push_back(u"set the last-write time of " + FromWide(client) +
                                  u" to now, so that Windows makes a new activation context for "
                                  u"it from the changed manifest");
    }
  }
  return generated;
}

}  // namespace kestrelwing::regsvr42
