#include "SelfCheck.h"

#include <windows.h>

#include <string_view>

#include <kestrelwing/cXml.h>
#include <kestrelwing/cXmlNode.h>

#include "AsciiCase.h"
#include "ChildOutcome.h"
#include "Failure.h"
#include "FileContents.h"
#include "Files.h"
#include "ManifestBuilder.h"
#include "PathParts.h"
#include "Paths.h"
#include "Report.h"
#include "SelfCheckRequest.h"
#include "Sibling.h"
#include "SystemInfo.h"
#include "WideText.h"

// The generator's side of the self-check: the files the check needs, staged where the loader will
// look; the check child started within its limit; its end read.
namespace kestrelwing::regsvr42 {
namespace {

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return FileNameUpper(FullPath(a)) == FileNameUpper(FullPath(b));
}

// Files and folders made for the check, removed with everything in them when it goes.
class Staging {
 public:
  Staging() = default;
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;
  ~Staging() {
    for (auto file = files_.rbegin(); file != files_.rend(); ++file)
      DeleteFileW(file->c_str());
    for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder)
      RemoveDirectoryW(folder->c_str());
  }

  void AddFolder(const std::wstring& folder) {
    if (!CreateDirectoryW(folder.c_str(), nullptr)) Refuse(folder);
    folders_.push_back(folder);
  }
  // A hard link to `from` when `link` and the file system allows it, else a copy. A file already
  // staged stays.
  void AddFile(const std::wstring& from, const std::wstring& to, bool link) {
    if (!TryAddFile(from, to, link)) Refuse(to);
  }
  // A file the check child makes, removed with the rest.
  void Expect(const std::wstring& path) { files_.push_back(path); }
  bool TryAddFile(const std::wstring& from, const std::wstring& to, bool link) {
    if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    if (!(link && CreateHardLinkW(to.c_str(), from.c_str(), nullptr)) &&
        !CopyFileW(from.c_str(), to.c_str(), TRUE)) {
      return false;
    }
    files_.push_back(to);
    return true;
  }

 private:
  [[noreturn]] static void Refuse(const std::wstring& path) {
    throw Failure(ExitCode::WriteFailed, u"the self-check cannot create " + FromWide(path) + u" (" +
                                             DescribeError(GetLastError()) + u")");
  }

  std::vector<std::wstring> folders_;
  std::vector<std::wstring> files_;
};

std::wstring StagingName(const std::wstring& folder) {
  return folder + L"\\regsvr42-check." + std::to_wstring(GetCurrentProcessId());
}

// The client's other private assemblies, as they stand in its folder now, so that the client's
// context can be made: each one's manifest where the loader probes for it, and its files.
void StageOtherAssemblies(Staging& staging, const std::wstring& clientManifest,
                          const std::wstring& clientFolder, const std::wstring& folder,
                          const std::u16string& ownName) {
  cXml client;
  if (!ReadDocument(clientManifest, client)) return;
  for (const std::u16string& dependencyName : DependencyNames(client)) {
    const std::wstring name = ToWide(dependencyName);
    if (name.empty() || name.find_first_of(L"\\/") != std::wstring::npos ||
        SameIgnoringCase(FromWide(name), ownName)) {
      continue;
    }
    for (const std::wstring& place : {std::wstring(), name + L"\\"}) {
      const std::wstring manifest = clientFolder + L"\\" + place + name + L".manifest";
      cXml assembly;
      if (!IsFile(manifest) || !ReadDocument(manifest, assembly)) continue;
      const std::wstring placeFolder = folder + L"\\" + name;
      if (!place.empty() && GetFileAttributesW(placeFolder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        staging.AddFolder(placeFolder);
      }
      staging.AddFile(manifest, folder + L"\\" + place + name + L".manifest", true);
      for (const NodeRef& file : assembly.Root()->Nodes(u"file")) {
        const std::wstring fileName = ToWide(file->PropertyValue(u"name"));
        const std::wstring source = clientFolder + L"\\" + place + fileName;
        if (fileName.empty() || fileName.find_first_of(L"\\/") != std::wstring::npos ||
            !IsFile(source)) {
          continue;
        }
        staging.AddFile(source, folder + L"\\" + place + fileName, true);
      }
      break;
    }
  }
}

struct StagedClient {
  std::wstring manifest;
  std::wstring component;  // empty when the component will not be beside its manifest
};

// The client's folder as the loader will find it once the manifests are in place, built in a
// temporary folder inside it (where the client manifest is written anyway): the client manifest;
// the component manifest only where the loader probes for the assembly from the client's folder
// (<name>.manifest or <name>\<name>.manifest); the component beside it only when it will be beside
// it.
StagedClient StageClient(Staging& staging, const CheckRequest& request) {
  const std::wstring folder = StagingName(FolderOf(request.client));
  staging.AddFolder(folder);
  StagedClient staged;
  staged.manifest = folder + L"\\" + ToWide(GetFileName(FromWide(request.client))) + L".manifest";
  staging.AddFile(request.clientManifest, staged.manifest, false);

  const std::wstring clientFolder = FolderOf(request.client);
  std::wstring name = ToWide(GetFileName(FromWide(request.manifestDestination)));
  name.resize(name.size() - std::wstring_view(L".manifest").size());
  std::wstring probed;
  if (SamePath(request.manifestDestination, clientFolder + L"\\" + name + L".manifest")) {
    probed = folder;
  } else if (SamePath(request.manifestDestination,
                      clientFolder + L"\\" + name + L"\\" + name + L".manifest")) {
    probed = folder + L"\\" + name;
    staging.AddFolder(probed);
  } else {
    return staged;  // the loader would not find the assembly; neither will the check
  }
  staging.AddFile(request.manifest, probed + L"\\" + name + L".manifest", false);
  if (SamePath(FolderOf(request.componentPath), FolderOf(request.manifestDestination))) {
    staged.component = probed + L"\\" + ToWide(GetFileName(FromWide(request.componentPath)));
    staging.AddFile(request.componentPath, staged.component, true);
  }
  StageOtherAssemblies(staging, request.clientManifest, clientFolder, folder, FromWide(name));
  return staged;
}

// The classes the check child listed as declined by the component.
std::vector<DeclinedClass> ReadDeclined(const std::wstring& file) {
  const auto bytes = platform::ReadWholeFile(FromWide(file));
  const auto declined = bytes ? ReadDeclinedText(std::string_view(
                                    reinterpret_cast<const char*>(bytes->data()), bytes->size()))
                              : std::nullopt;
  if (!declined) {
    throw Failure(ExitCode::CheckNotRun,
                  u"the self-check passed but left no readable list of the "
                  u"classes the component declines (" +
                      FromWide(file) + u")");
  }
  return *declined;
}

}  // namespace

std::vector<DeclinedClass> VerifyManifests(const CheckRequest& request) {
  Staging staging;
  // Wine looks for a manifest's files beside the manifest file, not in the assembly folder it is
  // given: a manifest bound for another folder is checked from a copy beside the component. Where
  // no copy can be made there, the new file itself serves, as Windows takes the folder given.
  std::wstring manifest = request.manifest;
  if (!SamePath(FolderOf(manifest), FolderOf(request.componentPath))) {
    const std::wstring copy = StagingName(FolderOf(request.componentPath)) + L".manifest";
    if (staging.TryAddFile(request.manifest, copy, false)) manifest = copy;
  }
  const StagedClient staged =
      request.client.empty() ? StagedClient{} : StageClient(staging, request);

  // The list of declined classes goes beside the pending manifest, where the generator writes.
  const CheckArguments arguments{
      manifest,          request.componentPath,
      request.component, staged.manifest,
      staged.component,  StagingName(FolderOf(request.manifest)) + L".declined",
      ReportPath(),      CheckItemLimitSeconds(request.timeoutSeconds)};
  staging.Expect(arguments.declined);
  const unsigned long limit = CheckLimitSeconds(
      WatchedCalls(ReadDeclared(manifest), !staged.manifest.empty()), arguments.itemLimitSeconds);
  const std::wstring program = ProgramPath();
  const ChildRun run = RunWithinLimit(program, CheckCommandLine(program, arguments), limit);
  if (std::optional<Failure> failure = CheckFailure(run, limit, DescribeError(run.error))) {
    throw std::move(*failure);
  }
  return ReadDeclined(arguments.declined);
}

}  // namespace kestrelwing::regsvr42
