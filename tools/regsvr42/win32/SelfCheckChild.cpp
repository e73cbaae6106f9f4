#include "SelfCheck.h"

#include <windows.h>

#include <ole2.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>

#include <kestrelwing/cXmlNode.h>

#include "AsciiCase.h"
#include "CrashGuard.h"
#include "Failure.h"
#include "Files.h"
#include "OutputLine.h"
#include "PathParts.h"
#include "Paths.h"
#include "RegistryCapture.h"
#include "Report.h"
#include "SafeFile.h"
#include "SelfCheckRequest.h"
#include "SystemInfo.h"
#include "WatchedThread.h"
#include "WideText.h"

// The check child: every item of the pending manifest looked up through an activation context
// made from it, with the registry out of the way.
namespace kestrelwing::regsvr42 {
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

std::wstring ModulePath(HMODULE module) {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// The file of the module that holds a class factory's code (the first entry of its table of
// methods); empty when no module does.
std::wstring FactoryModule(IClassFactory* factory) {
  const void* entry = (*reinterpret_cast<void* const* const*>(factory))[0];
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCWSTR>(entry), &module)) {
    return {};
  }
  return ModulePath(module);
}

// The component as loaded in this process (by COM, through the context); null when it is not.
HMODULE LoadedComponent(const std::wstring& path) {
  if (const HMODULE module = GetModuleHandleW(path.c_str())) return module;
  const HMODULE named = GetModuleHandleW(ToWide(GetFileName(FromWide(path))).c_str());
  return named != nullptr && SameFile(StampOf(ModulePath(named)), StampOf(path)) ? named : nullptr;
}

// What the component's own DllGetClassObject answers for a class, asked for IClassFactory: its
// HRESULT, and the file holding the factory's code when it gives one.
struct OwnAnswer {
  HRESULT hr = E_NOTIMPL;
  std::wstring factoryModule;
};

OwnAnswer AskComponent(HMODULE component, const GUID& clsid) {
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const auto getClassObject = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(component, "DllGetClassObject")));
  if (getClassObject == nullptr) return {};
  IClassFactory* factory = nullptr;
  OwnAnswer answer{getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
                   {}};
  if (factory != nullptr) {
    if (SUCCEEDED(answer.hr)) answer.factoryModule = FactoryModule(factory);
    factory->Release();
  }
  return answer;
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

// Says each item: its start to the crash guard, its outcome on standard output (passed, or a class
// the component declines) or standard error (failed). An item that looks something up runs on one
// of the check's two watched threads, within the item limit; past it the check ends with exit code
// 13 and a line naming the item. The single-threaded one is the process's main apartment (the main
// thread enters none).
class Checker {
 public:
  Checker(std::u16string label, unsigned itemLimitSeconds)
      : label_(std::move(label)),
        single_(label_, itemLimitSeconds, Apartment::SingleThreaded,
                {ExitCode::ManifestRejected, &NoAnswer}),
        multi_(label_, itemLimitSeconds, Apartment::Multithreaded,
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
  // The component's own DllGetClassObject declines the class: not a failure of the manifest, but
  // the class leaves it.
  void Decline(const std::u16string& clsid, HRESULT hr) {
    crash_.reset();
    const auto code = static_cast<std::uint32_t>(hr);
    WriteLine(stdout, u"regsvr42: checked " + label_ + u": " + item_ +
                          u" is declined by the component's own DllGetClassObject (" +
                          HexCode(code) + u")");
    declined_.push_back({clsid, code});
  }
  int Failures() const { return failures_; }
  const std::vector<DeclinedClass>& Declined() const { return declined_; }

 private:
  std::u16string label_;
  std::u16string item_;
  std::optional<CrashContext> crash_;
  int failures_ = 0;
  std::vector<DeclinedClass> declined_;
  WatchedThread single_;
  WatchedThread multi_;
};

// Through the active context: the context holds the class, COM gives its class object, and the
// factory's code lies in `expected`, or in a module whose factory the component's own
// DllGetClassObject gives (a component that forwards it). COM creates a class of threading model
// Free in the multithreaded apartment, one that names none in the main one; asked from another
// apartment, it would hand out a proxy, whose code is COM's and not the component's. A class COM
// cannot get is declined by the component only when the component is loaded and its own
// DllGetClassObject gives the same answer, CLASS_E_CLASSNOTAVAILABLE or E_NOINTERFACE, and
// `mayDecline`. Answers true when the class passed.
bool CheckClass(Checker& checker, const Declared::Class& comClass, HANDLE context,
                const std::wstring& expected, std::u16string_view what, bool mayDecline) {
  const Apartment apartment = SameIgnoringCase(comClass.threadingModel, u"Free")
                                  ? Apartment::Multithreaded
                                  : Apartment::SingleThreaded;
  bool passed = false;
  checker.Item(std::u16string(what) + comClass.clsid, context, apartment, [&] {
    const std::optional<GUID> clsid = ParseGuid(comClass.clsid);
    if (!clsid) return checker.Fail(u"not a GUID in braces");
    if (!InContext(ACTIVATION_CONTEXT_SECTION_COM_SERVER_REDIRECTION, *clsid)) {
      return checker.Fail(u"the activation context does not hold the class");
    }
    IClassFactory* factory = nullptr;
    const HRESULT hr = CoGetClassObject(*clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                        reinterpret_cast<void**>(&factory));
    const HMODULE component = LoadedComponent(expected);
    if (FAILED(hr)) {
      if (!DeclinesClass(static_cast<std::uint32_t>(hr))) {
        return checker.Fail(u"CoGetClassObject failed with " + DescribeHresult(hr));
      }
      if (component == nullptr) {
        return checker.Fail(u"CoGetClassObject failed with " + DescribeHresult(hr) +
                            u", and the component was not loaded: the answer is not its own");
      }
      const OwnAnswer own = AskComponent(component, *clsid);
      if (own.hr != hr) {
        return checker.Fail(u"CoGetClassObject failed with " + DescribeHresult(hr) +
                            u", but the component's own DllGetClassObject answers " +
                            HexCode(static_cast<std::uint32_t>(own.hr)));
      }
      // Through the client manifest the class passed before: declined now, it is a failure.
      if (!mayDecline) {
        return checker.Fail(u"declined by the component's own DllGetClassObject (" +
                            HexCode(static_cast<std::uint32_t>(hr)) +
                            u"), although it served the class through its own manifest");
      }
      return checker.Decline(comClass.clsid, hr);
    }
    const std::wstring module = FactoryModule(factory);
    factory->Release();
    if (!module.empty() && SameFile(StampOf(module), StampOf(expected))) {
      passed = true;
      return checker.Pass(u"is served by " + GetFileName(FromWide(module)));
    }
    if (!module.empty() && component != nullptr) {
      const OwnAnswer own = AskComponent(component, *clsid);
      if (SUCCEEDED(own.hr) && SameFile(StampOf(own.factoryModule), StampOf(module))) {
        passed = true;
        return checker.Pass(u"is served through " + GetFileName(FromWide(module)) +
                            u", whose class object the component's own DllGetClassObject gives");
      }
    }
    checker.Fail(u"its class factory's code lies in " +
                 (module.empty() ? u"no module" : FromWide(module)) + u", not in " +
                 FromWide(expected) +
                 u" nor in a module the component's own DllGetClassObject "
                 u"answers from");
  });
  return passed;
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
// folder as the application folder in which the assembly is probed for; through it, a class that
// passed the component's check (none when none did).
void CheckClient(Checker& checker, const Declared& declared, const std::wstring& clientManifest,
                 const std::wstring& expected, const Declared::Class* passed) {
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
  if (passed != nullptr) {
    CheckClass(checker, *passed, context.Handle(), expected, u"through the client manifest, class ",
               false);
  }
}

// The classes the component declines, for the generator: written whole even when none.
void WriteDeclined(const std::wstring& file, const std::vector<DeclinedClass>& declined) {
  const std::string text = DeclinedText(declined);
  platform::FileBatch batch;
  if (!batch.Add(FromWide(file), text) || !batch.Commit()) {
    throw Failure(ExitCode::CheckNotRun,
                  u"the self-check cannot write its list of declined classes: " + batch.Error());
  }
}

int CheckAll(const CheckArguments& arguments, Checker& checker) {
  // A registration left by regsvr32 must not answer in the manifest's place.
  const EmptyRegistryView emptyRegistry;
  const Declared declared = ReadDeclared(arguments.manifest);
  const Declared::Class* passed = nullptr;
  {
    checker.Begin(u"activation context");
    const ActivationContext context(arguments.manifest, FolderOf(arguments.component));
    if (!context.Made()) {
      checker.Fail(u"the manifest gives none (" + DescribeError(context.Error()) + u")");
      return static_cast<int>(ExitCode::ManifestRejected);
    }
    for (const Declared::Class& comClass : declared.classes) {
      if (CheckClass(checker, comClass, context.Handle(), arguments.component, u"class ", true) &&
          passed == nullptr) {
        passed = &comClass;
      }
    }
    for (const Declared::Class& comClass : declared.classes) {
      for (const std::u16string& progId : comClass.progIds)
        CheckProgId(checker, context.Handle(), progId, comClass.clsid);
    }
    for (const Declared::Library& library : declared.libraries)
      CheckLibrary(checker, context.Handle(), library, FolderOf(arguments.component));
    for (const Declared::ProxyStub& proxyStub : declared.proxyStubs)
      CheckProxyStub(checker, context.Handle(), proxyStub);
  }
  if (!arguments.clientManifest.empty()) {
    CheckClient(checker, declared, arguments.clientManifest, arguments.clientComponent, passed);
  }
  if (checker.Failures() != 0) return static_cast<int>(ExitCode::ManifestRejected);
  WriteDeclined(arguments.declined, checker.Declined());
  return 0;
}

}  // namespace

bool IsCheckMode(const std::vector<std::u16string>& arguments) {
  return IsCheckModeCommand(arguments);
}

int RunCheckMode(const std::vector<std::u16string>& arguments) {
  const CheckArguments request = ReadCheckArguments(arguments);
  if (!request.report.empty()) OpenReport(request.report, true);
  // Every failure ends in a line and a code the generator reads (a thrown exception that escaped
  // would abort, and the abort's code would mean something else).
  auto fail = [&](ExitCode code, const std::u16string& message) {
    WriteLine(stderr, u"regsvr42: error: " + request.label + u": " + message);
    return static_cast<int>(code);
  };
  try {
    Checker checker(request.label, request.itemLimitSeconds);
    return CheckAll(request, checker);
  } catch (const Failure& failure) {
    return fail(failure.Code(), failure.Message());
  } catch (const std::exception& error) {
    return fail(ExitCode::CheckNotRun, u"the self-check failed: " + FromUtf8(error.what()));
  } catch (...) {
    return fail(ExitCode::CheckNotRun, u"the self-check failed with an unknown exception");
  }
}

}  // namespace kestrelwing::regsvr42
