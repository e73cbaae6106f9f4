#include "SelfCheck.h"

#include <windows.h>

#include <ole2.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include <kestrelwing/cXml.h>
#include <kestrelwing/cXmlNode.h>

#include "AsciiCase.h"
#include "ComponentFile.h"
#include "CrashGuard.h"
#include "Failure.h"
#include "Files.h"
#include "ManifestBuilder.h"
#include "OutputLine.h"
#include "PathParts.h"
#include "Paths.h"
#include "RegistryCapture.h"
#include "Sibling.h"
#include "SystemInfo.h"
#include "WatchedThread.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {
namespace {

// The check mode's command line: the first option says the mode and names the pending manifest.
constexpr std::u16string_view kModeOption = u"-selfcheck:";
constexpr std::u16string_view kComponentOption = u"-checkcomponent:";
constexpr std::u16string_view kLabelOption = u"-checklabel:";
constexpr std::u16string_view kClientOption = u"-checkclient:";
constexpr std::u16string_view kClientComponentOption = u"-checkclientcomponent:";

bool SamePath(const std::wstring& a, const std::wstring& b) {
  return FileNameUpper(FullPath(a)) == FileNameUpper(FullPath(b));
}

// The XML document in the file at `path`; false when it is none.
bool ReadDocument(const std::wstring& path, cXml& document) {
  return document.Parse(std::span<const std::uint8_t>(ReadFileOrFail(path))) &&
         static_cast<bool>(document.Root());
}

// What the pending manifest declares, as the check looks it up.
struct Declared {
  struct Class {
    std::u16string clsid;
    std::u16string threadingModel;
    std::vector<std::u16string> progIds;  // the attribute first, then the progid elements
  };
  struct Library {
    std::u16string id;
    std::u16string version;
    std::u16string file;        // the file element it stands in
    std::u16string resourceId;  // empty for the first TYPELIB resource
  };
  struct ProxyStub {
    std::u16string iid;
    std::u16string proxyStub;
    bool inFile = false;  // comInterfaceProxyStub: the proxy/stub is a class of the file
  };
  std::u16string assemblyName;
  std::vector<Class> classes;
  std::vector<Library> libraries;
  std::vector<ProxyStub> proxyStubs;
};

void ReadProxyStubs(const cXmlNode& parent, bool inFile, Declared& declared) {
  const std::u16string_view element =
      inFile ? u"comInterfaceProxyStub" : u"comInterfaceExternalProxyStub";
  for (const NodeRef& node : parent.Nodes(element)) {
    const std::u16string proxyStub = node->PropertyValue(u"proxyStubClsid32");
    if (proxyStub.empty()) continue;
    declared.proxyStubs.push_back({node->PropertyValue(u"iid"), proxyStub, inFile});
  }
}

Declared ReadDeclared(const std::wstring& manifest) {
  cXml document;
  if (!ReadDocument(manifest, document)) {
    throw Failure(ExitCode::ManifestRejected,
                  u"the new manifest cannot be read back: " + document.Result());
  }
  const NodeRef root = document.Root();
  Declared declared;
  if (const NodeRef identity = root->NodeByName(u"assemblyIdentity")) {
    declared.assemblyName = identity->PropertyValue(u"name");
  }
  for (const NodeRef& file : root->Nodes(u"file")) {
    for (const NodeRef& comClass : file->Nodes(u"comClass")) {
      Declared::Class entry{
          comClass->PropertyValue(u"clsid"), comClass->PropertyValue(u"threadingModel"), {}};
      if (const std::u16string progId = comClass->PropertyValue(u"progid"); !progId.empty()) {
        entry.progIds.push_back(progId);
      }
      for (const NodeRef& progId : comClass->Nodes(u"progid"))
        entry.progIds.emplace_back(progId->Value());
      declared.classes.push_back(std::move(entry));
    }
    for (const NodeRef& library : file->Nodes(u"typelib")) {
      declared.libraries.push_back(
          {library->PropertyValue(u"tlbid"), library->PropertyValue(u"version"),
           file->PropertyValue(u"name"), library->PropertyValue(u"resourceid")});
    }
    ReadProxyStubs(*file, true, declared);
  }
  ReadProxyStubs(*root, false, declared);
  return declared;
}

// How many items the check asks the component's thread for: every class, ProgID, type library
// and proxy/stub, and the class through the client manifest.
std::size_t WatchedCalls(const Declared& declared, bool client) {
  std::size_t calls = declared.classes.size() + declared.libraries.size() +
                      declared.proxyStubs.size() + (client ? 1 : 0);
  for (const Declared::Class& comClass : declared.classes)
    calls += comClass.progIds.size();
  return calls;
}

// ---------------------------------------------------------------------------------------------
// The parent's side.

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

std::wstring Argument(std::u16string_view option, const std::wstring& value) {
  return QuoteArgument(ToWide(option) + value);
}

}  // namespace

void VerifyManifests(const CheckRequest& request) {
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

  const std::wstring program = ProgramPath();
  std::wstring commandLine = QuoteArgument(program) + L" " + Argument(kModeOption, manifest) +
                             L" " + Argument(kComponentOption, request.componentPath) + L" " +
                             Argument(kLabelOption, ToWide(request.component));
  if (!staged.manifest.empty()) {
    commandLine += L" " + Argument(kClientOption, staged.manifest);
    if (!staged.component.empty()) {
      commandLine += L" " + Argument(kClientComponentOption, staged.component);
    }
  }
  // The child keeps the limit for each item itself, and ends naming the item; the limit here
  // covers all its watched calls (the items, entering and leaving its two apartments) and its own
  // work.
  const auto limit = static_cast<unsigned long>(
      kCheckItemLimitSeconds *
      (WatchedCalls(ReadDeclared(manifest), !staged.manifest.empty()) + 5));
  const ChildRun run = RunWithinLimit(program, std::move(commandLine), limit);
  if (run.outcome == ChildRun::Outcome::NotStarted) {
    throw Failure(ExitCode::ManifestRejected,
                  u"the self-check cannot be started (" + DescribeError(run.error) + u")");
  }
  if (run.outcome == ChildRun::Outcome::TimedOut) {
    throw Failure(ExitCode::ManifestRejected,
                  u"the self-check did not end within " + Decimal(limit) + u" s and was stopped");
  }
  const auto exitCode = static_cast<DWORD>(run.exitCode);
  if (exitCode == 0) return;
  // A failure of the check or of its set-up: the child has written its lines.
  if (exitCode <= static_cast<DWORD>(ExitCode::Last)) {
    throw Failure(static_cast<ExitCode>(exitCode), u"");
  }
  throw Failure(ExitCode::ComponentCrashed,
                u"the self-check ended with exit code " + HexCode(exitCode));
}

// ---------------------------------------------------------------------------------------------
// The child's side.

namespace {

std::optional<GUID> ParseGuid(const std::u16string& text) {
  GUID guid;
  const std::wstring wide = ToWide(text);
  if (text.empty() || text.front() != u'{' ||
      FAILED(IIDFromString(const_cast<wchar_t*>(wide.c_str()), &guid))) {
    return std::nullopt;
  }
  return guid;
}

// True when the active activation context answers for the key: the answer then comes from the
// manifest, whatever the registry holds.
bool InContext(ULONG section, const GUID& guid) {
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof(data);
  return FindActCtxSectionGuid(0, nullptr, section, &guid, &data);
}

bool InContext(ULONG section, const std::u16string& key) {
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof(data);
  return FindActCtxSectionStringW(0, nullptr, section, ToWide(key).c_str(), &data);
}

// The class an answer of CLSIDFromProgID stands for. Through a manifest, Wine answers a stand-in
// GUID that the context maps to the class: the context's COM server entry for it starts with its
// size, flags and threading model (three ULONGs), then the CLSID of the class it describes. An
// answer with no entry stands for itself.
GUID ClassBehind(const GUID& answered) {
  constexpr std::size_t kClassOffset = 3 * sizeof(ULONG);
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof(data);
  if (!FindActCtxSectionGuid(0, nullptr, ACTIVATION_CONTEXT_SECTION_COM_SERVER_REDIRECTION,
                             &answered, &data) ||
      data.ulLength < kClassOffset + sizeof(GUID)) {
    return answered;
  }
  GUID behind;
  std::memcpy(&behind, static_cast<const BYTE*>(data.lpData) + kClassOffset, sizeof(behind));
  return behind;
}

// Wine's own entry point in ntdll says the system is Wine.
bool RunningOnWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The file of the module that holds the code at `address`; empty when no module does.
std::wstring ModuleFileOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(address), &module)) {
    return {};
  }
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// An activation context made from a manifest; a check activates it on the thread it runs on.
class ActivationContext {
 public:
  ActivationContext(const std::wstring& manifest, const std::wstring& folder) {
    ACTCTXW request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    request.lpSource = manifest.c_str();
    request.lpAssemblyDirectory = folder.c_str();
    handle_ = CreateActCtxW(&request);
    if (handle_ == INVALID_HANDLE_VALUE) error_ = GetLastError();
  }
  ActivationContext(const ActivationContext&) = delete;
  ActivationContext& operator=(const ActivationContext&) = delete;
  ~ActivationContext() {
    if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
  }

  bool Made() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return handle_; }
  DWORD Error() const { return error_; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  DWORD error_ = 0;
};

// `context` active on the calling thread while it lives.
class ActiveContext {
 public:
  explicit ActiveContext(HANDLE context) {
    if (!ActivateActCtx(context, &cookie_)) cookie_ = 0;
  }
  ActiveContext(const ActiveContext&) = delete;
  ActiveContext& operator=(const ActiveContext&) = delete;
  ~ActiveContext() {
    if (cookie_ != 0) DeactivateActCtx(0, cookie_);
  }

 private:
  ULONG_PTR cookie_ = 0;
};

std::u16string NoAnswer(std::u16string_view item, unsigned limitSeconds) {
  return std::u16string(item) + u": no answer within " + Decimal(limitSeconds) +
         u" seconds; the self-check was stopped";
}

// Says each item: its start to the crash guard, its outcome on standard output (passed) or
// standard error (failed). An item that looks something up runs on one of the check's two watched
// threads, within the item limit; past it the check ends with exit code 13 and a line naming the
// item. The single-threaded one is the process's main apartment (the main thread enters none).
class Checker {
 public:
  explicit Checker(std::u16string label)
      : label_(std::move(label)),
        single_(label_, kCheckItemLimitSeconds, Apartment::SingleThreaded,
                {ExitCode::ManifestRejected, &NoAnswer}),
        multi_(label_, kCheckItemLimitSeconds, Apartment::Multithreaded,
               {ExitCode::ManifestRejected, &NoAnswer}) {}

  void Begin(std::u16string item) {
    item_ = std::move(item);
    crash_.reset();
    crash_.emplace(label_, (u"the self-check of " + item_).c_str());
  }
  // Begins `item` and runs check on the thread of `apartment`, with `context` active there.
  void Item(std::u16string item, HANDLE context, Apartment apartment,
            const std::function<void()>& check) {
    Begin(std::move(item));
    (apartment == Apartment::Multithreaded ? multi_ : single_).Run(item_, [&] {
      const ActiveContext active(context);
      check();
    });
  }
  void Pass(const std::u16string& outcome) {
    crash_.reset();
    WriteLine(stdout, u"regsvr42: checked " + label_ + u": " + item_ + u" " + outcome);
  }
  void Fail(const std::u16string& reason) {
    crash_.reset();
    WriteLine(stderr, u"regsvr42: error: " + label_ + u": " + item_ + u": " + reason);
    ++failures_;
  }
  int Failures() const { return failures_; }

 private:
  std::u16string label_;
  std::u16string item_;
  std::optional<CrashContext> crash_;
  int failures_ = 0;
  WatchedThread single_;
  WatchedThread multi_;
};

// Through the active context: the context holds the class, COM gives its class object, and the
// factory's code lies in `expected`. COM creates a class of threading model Free in the
// multithreaded apartment, one that names none in the main one; asked from another apartment, it
// would hand out a proxy, whose code is COM's and not the component's.
void CheckClass(Checker& checker, const Declared::Class& comClass, HANDLE context,
                const std::wstring& expected, std::u16string_view what) {
  const Apartment apartment = SameIgnoringCase(comClass.threadingModel, u"Free")
                                  ? Apartment::Multithreaded
                                  : Apartment::SingleThreaded;
  checker.Item(std::u16string(what) + comClass.clsid, context, apartment, [&] {
    const std::optional<GUID> clsid = ParseGuid(comClass.clsid);
    if (!clsid) return checker.Fail(u"not a GUID in braces");
    if (!InContext(ACTIVATION_CONTEXT_SECTION_COM_SERVER_REDIRECTION, *clsid)) {
      return checker.Fail(u"the activation context does not hold the class");
    }
    IClassFactory* factory = nullptr;
    const HRESULT hr = CoGetClassObject(*clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return checker.Fail(u"CoGetClassObject failed with " + DescribeHresult(hr));
    // The factory's code: the module that holds the first entry of its table of methods.
    const void* entry = (*reinterpret_cast<void* const* const*>(factory))[0];
    const std::wstring module = ModuleFileOf(entry);
    factory->Release();
    if (module.empty() || !SameFile(StampOf(module), StampOf(expected))) {
      return checker.Fail(u"its class factory's code lies in " +
                          (module.empty() ? u"no module" : FromWide(module)) + u", not in " +
                          FromWide(expected));
    }
    checker.Pass(u"is served by " + GetFileName(FromWide(module)));
  });
}

void CheckProgId(Checker& checker, HANDLE context, const std::u16string& progId,
                 const std::u16string& clsid) {
  checker.Item(u"ProgID " + progId, context, Apartment::SingleThreaded, [&] {
    const std::optional<GUID> declared = ParseGuid(clsid);
    if (!declared) return checker.Fail(u"its class " + clsid + u" is not a GUID in braces");
    if (!InContext(ACTIVATION_CONTEXT_SECTION_COM_PROGID_REDIRECTION, progId)) {
      return checker.Fail(u"the activation context does not hold it");
    }
    GUID answered;
    const HRESULT hr = CLSIDFromProgID(ToWide(progId).c_str(), &answered);
    if (FAILED(hr)) return checker.Fail(u"CLSIDFromProgID failed with " + DescribeHresult(hr));
    // Windows answers the class itself; Wine a stand-in for it (see ClassBehind).
    const GUID behind = ClassBehind(answered);
    if (!IsEqualGUID(answered, *declared) && !IsEqualGUID(behind, *declared)) {
      return checker.Fail(u"leads to " + GuidText(behind) + u", not to its class " + clsid);
    }
    checker.Pass(u"leads to " + GuidText(*declared));
  });
}

// "major.minor" in decimal, as the manifest writes a type library's version.
std::optional<std::pair<WORD, WORD>> ParseLibraryVersion(std::u16string_view text) {
  const std::size_t dot = text.find(u'.');
  if (dot == std::u16string_view::npos) return std::nullopt;
  auto number = [](std::u16string_view part) -> std::optional<WORD> {
    if (part.empty() || part.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char16_t c : part) {
      if (c < u'0' || c > u'9') return std::nullopt;
      value = value * 10 + (c - u'0');
    }
    return value > 0xFFFF ? std::nullopt : std::optional<WORD>(static_cast<WORD>(value));
  };
  const auto major = number(text.substr(0, dot));
  const auto minor = number(text.substr(dot + 1));
  if (!major || !minor) return std::nullopt;
  return std::pair{*major, *minor};
}

// The GUID and version of the library that `load` gives; GUID_NULL when it fails.
template <class Load>
std::pair<GUID, std::pair<WORD, WORD>> LibraryIdentity(HRESULT& hr, Load load) {
  ITypeLib* loaded = nullptr;
  hr = load(&loaded);
  TLIBATTR* attributes = nullptr;
  std::pair<GUID, std::pair<WORD, WORD>> identity{GUID_NULL, {0, 0}};
  if (SUCCEEDED(hr) && SUCCEEDED(loaded->GetLibAttr(&attributes))) {
    identity = {attributes->guid, {attributes->wMajorVerNum, attributes->wMinorVerNum}};
    loaded->ReleaseTLibAttr(attributes);
  }
  if (loaded != nullptr) loaded->Release();
  return identity;
}

void CheckLibrary(Checker& checker, HANDLE context, const Declared::Library& library,
                  const std::wstring& folder) {
  checker.Item(
      u"type library " + library.id + u" " + library.version, context, Apartment::SingleThreaded,
      [&] {
        const std::optional<GUID> id = ParseGuid(library.id);
        const auto version = ParseLibraryVersion(library.version);
        if (!id || !version)
          return checker.Fail(u"needs a GUID in braces and a version major.minor");
        if (!InContext(ACTIVATION_CONTEXT_SECTION_COM_TYPE_LIBRARY_REDIRECTION, *id)) {
          return checker.Fail(u"the activation context does not hold it");
        }
        HRESULT hr = S_OK;
        const auto got = LibraryIdentity(hr, [&](ITypeLib** loaded) {
          return LoadRegTypeLib(*id, version->first, version->second, 0, loaded);
        });
        if (SUCCEEDED(hr) && IsEqualGUID(got.first, *id)) return checker.Pass(u"loads");
        // Wine ignores a manifest's resourceid and loads the file's first type library, which then
        // has another identity or version: what can be shown is that the resource named holds this
        // library.
        if (!library.resourceId.empty() && RunningOnWine()) {
          const std::wstring resource =
              folder + L"\\" + ToWide(library.file) + L"\\" + ToWide(library.resourceId);
          HRESULT loadedFromFile = S_OK;
          const auto inFile = LibraryIdentity(loadedFromFile, [&](ITypeLib** loaded) {
            return LoadTypeLibEx(resource.c_str(), REGKIND_NONE, loaded);
          });
          if (SUCCEEDED(loadedFromFile) && IsEqualGUID(inFile.first, *id) &&
              inFile.second == *version) {
            return checker.Pass(u"is resource " + library.resourceId + u" of " + library.file +
                                u" (Wine ignores resourceid; that LoadRegTypeLib finds it only "
                                u"Windows shows)");
          }
        }
        if (FAILED(hr)) return checker.Fail(u"LoadRegTypeLib failed with " + DescribeHresult(hr));
        checker.Fail(u"LoadRegTypeLib gave " + GuidText(got.first));
      });
}

void CheckProxyStub(Checker& checker, HANDLE context, const Declared::ProxyStub& proxyStub) {
  checker.Item(u"interface " + proxyStub.iid, context, Apartment::SingleThreaded, [&] {
    const std::optional<GUID> iid = ParseGuid(proxyStub.iid);
    const std::optional<GUID> declared = ParseGuid(proxyStub.proxyStub);
    if (!iid || !declared) return checker.Fail(u"needs GUIDs in braces");
    if (!InContext(ACTIVATION_CONTEXT_SECTION_COM_INTERFACE_REDIRECTION, *iid)) {
      return checker.Fail(u"the activation context does not hold it");
    }
    GUID answered;
    const HRESULT hr = CoGetPSClsid(*iid, &answered);
    if (FAILED(hr)) return checker.Fail(u"CoGetPSClsid failed with " + DescribeHresult(hr));
    if (IsEqualGUID(answered, *declared))
      return checker.Pass(u"is marshaled by " + proxyStub.proxyStub);
    // For a proxy/stub inside the file Wine answers the IID itself and not proxyStubClsid32, which
    // Windows answers; under Wine that answer is taken, and the line says what was not shown.
    if (proxyStub.inFile && IsEqualGUID(answered, *iid) && RunningOnWine()) {
      return checker.Pass(
          u"is marshaled by the file's own proxy/stub (Wine answers the IID; that it "
          u"answers " +
          proxyStub.proxyStub + u" only Windows shows)");
    }
    checker.Fail(u"is marshaled by " + GuidText(answered) + u", not by " + proxyStub.proxyStub);
  });
}

// The client's context, made the way the loader makes it: from the client manifest, the client's
// folder as the application folder in which the assembly is probed for; one class through it.
void CheckClient(Checker& checker, const Declared& declared, const std::wstring& clientManifest,
                 const std::wstring& expected) {
  checker.Begin(u"client manifest " + GetFileName(FromWide(clientManifest)));
  const ActivationContext context(clientManifest, FolderOf(clientManifest));
  if (!context.Made()) {
    return checker.Fail(u"gives no activation context (" + DescribeError(context.Error()) +
                        u"); from the client's folder the loader finds the assembly " +
                        declared.assemblyName + u" only as " + declared.assemblyName +
                        u".manifest or " + declared.assemblyName + u"\\" + declared.assemblyName +
                        u".manifest there, with its file beside it");
  }
  checker.Pass(u"finds the assembly " + declared.assemblyName);
  if (!declared.classes.empty()) {
    CheckClass(checker, declared.classes.front(), context.Handle(), expected,
               u"through the client manifest, class ");
  }
}

std::wstring OptionValue(const std::vector<std::u16string>& arguments, std::u16string_view option) {
  for (const std::u16string& argument : arguments) {
    if (argument.starts_with(option)) return ToWide(argument.substr(option.size()));
  }
  return {};
}

int CheckAll(const std::vector<std::u16string>& arguments, Checker& checker) {
  const std::wstring manifest = OptionValue(arguments, kModeOption);
  const std::wstring componentPath = OptionValue(arguments, kComponentOption);
  const std::wstring clientManifest = OptionValue(arguments, kClientOption);
  std::wstring clientComponent = OptionValue(arguments, kClientComponentOption);
  if (clientComponent.empty()) clientComponent = componentPath;

  // A registration left by regsvr32 must not answer in the manifest's place.
  const EmptyRegistryView emptyRegistry;
  const Declared declared = ReadDeclared(manifest);
  {
    checker.Begin(u"activation context");
    const ActivationContext context(manifest, FolderOf(componentPath));
    if (!context.Made()) {
      checker.Fail(u"the manifest gives none (" + DescribeError(context.Error()) + u")");
      return static_cast<int>(ExitCode::ManifestRejected);
    }
    for (const Declared::Class& comClass : declared.classes)
      CheckClass(checker, comClass, context.Handle(), componentPath, u"class ");
    for (const Declared::Class& comClass : declared.classes) {
      for (const std::u16string& progId : comClass.progIds)
        CheckProgId(checker, context.Handle(), progId, comClass.clsid);
    }
    for (const Declared::Library& library : declared.libraries)
      CheckLibrary(checker, context.Handle(), library, FolderOf(componentPath));
    for (const Declared::ProxyStub& proxyStub : declared.proxyStubs)
      CheckProxyStub(checker, context.Handle(), proxyStub);
  }
  if (!clientManifest.empty()) CheckClient(checker, declared, clientManifest, clientComponent);
  return checker.Failures() == 0 ? 0 : static_cast<int>(ExitCode::ManifestRejected);
}

}  // namespace

bool IsCheckMode(const std::vector<std::u16string>& arguments) {
  return !arguments.empty() && arguments.front().starts_with(kModeOption);
}

int RunCheckMode(const std::vector<std::u16string>& arguments) {
  const std::u16string label = FromWide(OptionValue(arguments, kLabelOption));
  Checker checker(label);
  try {
    return CheckAll(arguments, checker);
  } catch (const Failure& failure) {
    WriteLine(stderr, u"regsvr42: error: " + label + u": " + failure.Message());
    return static_cast<int>(failure.Code());
  }
}

}  // namespace kestrelwing::regsvr42
