#include "RegistryCapture.h"

#include <ole2.h>

#include <algorithm>
#include <array>
#include <cwchar>
#include <map>
#include <optional>

#include "AsciiCase.h"
#include "ClassChecks.h"
#include "Failure.h"
#include "Files.h"
#include "OleMisc.h"
#include "PathParts.h"
#include "Paths.h"
#include "ProgIds.h"
#include "RegistryKey.h"
#include "SystemInfo.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr wchar_t kCaptureParent[] = L"Software\\Kestrelwing\\regsvr42";

// The predefined keys in the order they are redirected; HKCU goes last because the temporary
// key itself lives below the real HKCU.
struct Redirection {
  HKEY predefined;
  const wchar_t* subkey;
};
constexpr std::size_t kRedirectionCount = 4;
const std::array<Redirection, kRedirectionCount> kRedirections = {{
    {HKEY_CLASSES_ROOT, L"HKCR"},
    {HKEY_LOCAL_MACHINE, L"HKLM"},
    {HKEY_USERS, L"HKU"},
    {HKEY_CURRENT_USER, L"HKCU"},
}};

// Where registered classes may land below the temporary key: HKCR itself, and the Classes keys
// of HKLM and HKCU (per-user type library registration writes there).
constexpr std::array<const wchar_t*, 3> kClassesRoots = {L"HKCR", L"HKLM\\Software\\Classes",
                                                         L"HKCU\\Software\\Classes"};

// A CLSID or type library ID in upper case: they are ASCII, compared without letter case.
std::wstring Upper(const std::wstring& id) {
  return ToWide(AsciiUpper(FromWide(id)));
}

// A registered path without its quotes, and without the "\\?\" prefix of long paths that some
// registrations write (Wine's RegisterTypeLib does).
std::wstring PlainPath(const std::wstring& path) {
  std::wstring plain = Unquoted(path);
  if (plain.starts_with(L"\\\\?\\")) plain.erase(0, 4);
  return plain;
}

// The canonical long form of a path, for comparing server paths with the component's.
std::wstring CanonicalPath(const std::wstring& path) {
  const std::wstring full = FullPath(PlainPath(path));
  const DWORD needed = GetLongPathNameW(full.c_str(), nullptr, 0);
  std::wstring longer(needed, L'\0');
  const DWORD length = needed == 0 ? 0 : GetLongPathNameW(full.c_str(), longer.data(), needed);
  if (length == 0 || length >= needed) return FileNameUpper(full);
  longer.resize(length);
  return FileNameUpper(longer);
}

bool IsThisServer(const std::wstring& serverPath, const std::wstring& componentPath) {
  const std::wstring server = Unquoted(serverPath);
  // A bare file name is found by the loader's search; it names this component when the names match.
  if (server.find_first_of(L"\\/") == std::wstring::npos) {
    return FileNameUpper(server) ==
           FileNameUpper(componentPath.substr(FileNameStart(FromWide(componentPath))));
  }
  return CanonicalPath(server) == CanonicalPath(componentPath);
}

std::u16string Read(const RegistryKey& key, const std::wstring& subkey) {
  return FromWide(key.Open(subkey).String().value_or(L""));
}

// The failure of a registry call made for the capture: what failed, and the system's reason.
Failure RegistryFailure(const std::u16string& what, LSTATUS status) {
  return Failure(ExitCode::RegistryFailed,
                 what + u" (" + DescribeError(static_cast<DWORD>(status)) + u")");
}

// The path of the temporary key of a process, below the real HKCU, in a buffer of the caller's
// (a crashed run removes its key without allocating).
using CaptureKeyBuffer = std::array<wchar_t, std::size(kCaptureParent) + 12>;
const wchar_t* CaptureKeyPath(unsigned long processId, CaptureKeyBuffer& buffer) {
  wchar_t* end = std::copy(std::begin(kCaptureParent), std::end(kCaptureParent) - 1, buffer.data());
  *end++ = L'\\';
  wchar_t digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + processId % 10);
    processId /= 10;
  } while (processId != 0);
  while (count > 0)
    *end++ = digits[--count];
  *end = L'\0';
  return buffer.data();
}

// A temporary key below the real HKCU holding one subkey per redirected predefined key; removed
// with everything below it when the capture ends, whatever happens.
std::wstring CaptureKeyPath() {
  CaptureKeyBuffer buffer;
  return CaptureKeyPath(GetCurrentProcessId(), buffer);
}

// Removes a key below HKCU with everything below it.
void RemoveKeyTree(const wchar_t* path) {
  RegDeleteTreeW(HKEY_CURRENT_USER, path);
  RegDeleteKeyW(HKEY_CURRENT_USER, path);
}

void RemoveCaptureKey(const wchar_t* path) {
  RemoveKeyTree(path);
  // The parents go too when no other run is using them.
  RegDeleteKeyW(HKEY_CURRENT_USER, kCaptureParent);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Kestrelwing");
}

class CaptureKey {
 public:
  CaptureKey() : path_(CaptureKeyPath()) {
    RemoveLeftovers();
    Check(RegistryKey::Create(HKEY_CURRENT_USER, path_, root_));
    for (std::size_t i = 0; i < kRedirections.size(); ++i) {
      Check(RegistryKey::Create(root_.Handle(), kRedirections[i].subkey, targets_[i]));
    }
    // Some components open these keys without creating them.
    RegistryKey created;
    Check(RegistryKey::Create(root_.Handle(), L"HKCR\\CLSID", created));
    Check(RegistryKey::Create(root_.Handle(), L"HKLM\\Software\\Classes", created));
  }
  CaptureKey(const CaptureKey&) = delete;
  CaptureKey& operator=(const CaptureKey&) = delete;
  ~CaptureKey() {
    targets_ = {};
    root_ = RegistryKey();
    RemoveCaptureKey(path_.c_str());
  }

  const RegistryKey& Root() const { return root_; }
  HKEY Target(std::size_t index) const { return targets_[index].Handle(); }

 private:
  // A run that crashed inside DllRegisterServer could not remove its key: the keys of processes
  // that are gone (and one of an earlier process with this id) are removed now.
  void RemoveLeftovers() const {
    const RegistryKey parent = RegistryKey::Open(HKEY_CURRENT_USER, kCaptureParent);
    for (const std::wstring& name : parent.SubkeyNames()) {
      const DWORD processId = static_cast<DWORD>(wcstoul(name.c_str(), nullptr, 10));
      const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
      const bool alive = process && WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
      if (!alive || processId == GetCurrentProcessId()) {
        RemoveKeyTree((std::wstring(kCaptureParent) + L"\\" + name).c_str());
      }
    }
  }

  void Check(LSTATUS status) const {
    if (status == ERROR_SUCCESS) return;
    throw RegistryFailure(u"cannot create the temporary key HKCU\\" + FromWide(path_), status);
  }

  std::wstring path_;
  RegistryKey root_;
  std::array<RegistryKey, kRedirectionCount> targets_;
};

// Redirects the predefined keys into the capture key while it lives; undone in reverse order.
class Redirected {
 public:
  explicit Redirected(const CaptureKey& capture) {
    for (std::size_t i = 0; i < kRedirections.size(); ++i) {
      const LSTATUS status = RegOverridePredefKey(kRedirections[i].predefined, capture.Target(i));
      if (status != ERROR_SUCCESS) {
        Undo();
        throw RegistryFailure(u"cannot redirect " + FromWide(kRedirections[i].subkey), status);
      }
      ++redirected_;
    }
  }
  Redirected(const Redirected&) = delete;
  Redirected& operator=(const Redirected&) = delete;
  ~Redirected() { Undo(); }

 private:
  void Undo() {
    while (redirected_ > 0)
      RegOverridePredefKey(kRedirections[--redirected_].predefined, nullptr);
  }
  std::size_t redirected_ = 0;
};

// Makes oleaut32 register type libraries below HKCU\Software\Classes, as a per-user registration
// would, when this version of oleaut32 can.
void EnablePerUserTypeLibraryRegistration() {
  HMODULE oleaut32 = GetModuleHandleW(L"oleaut32.dll");
  if (oleaut32 == nullptr) return;
  using EnableFunction = void(WINAPI*)();
  auto enable = reinterpret_cast<EnableFunction>(
      reinterpret_cast<void*>(GetProcAddress(oleaut32, "OaEnablePerUserTLibRegistration")));
  if (enable != nullptr) enable();
}

void CallDllRegisterServer(HMODULE component, WatchedThread& componentThread) {
  using RegisterFunction = HRESULT(STDAPICALLTYPE*)();
  auto registerServer = reinterpret_cast<RegisterFunction>(
      reinterpret_cast<void*>(GetProcAddress(component, "DllRegisterServer")));
  if (registerServer == nullptr) {
    throw Failure(ExitCode::NoRegisterExport, u"the component does not export DllRegisterServer");
  }
  const HRESULT hr = componentThread.Run(u"DllRegisterServer", registerServer);
  if (FAILED(hr)) {
    throw Failure(ExitCode::RegisterFailed,
                  u"DllRegisterServer failed with " + DescribeHresult(hr));
  }
}

ComClass ReadClass(const std::wstring& clsid, const RegistryKey& key,
                   std::vector<std::u16string>& warnings) {
  ComClass comClass;
  comClass.clsid = FromWide(Upper(clsid));
  comClass.description = FromWide(key.String().value_or(L""));
  comClass.threadingModel =
      FromWide(key.Open(L"InprocServer32").String(L"ThreadingModel").value_or(L""));
  comClass.typeLibraryId = FromWide(Upper(key.Open(L"TypeLib").String().value_or(L"")));
  const RegistryKey miscStatus = key.Open(L"MiscStatus");
  if (miscStatus) {
    constexpr std::array<const wchar_t*, kAspectCount> kAspectKeys = {L"", L"1", L"2", L"4", L"8"};
    for (std::size_t aspect = 0; aspect < kAspectCount; ++aspect) {
      const auto text =
          aspect == 0 ? miscStatus.String() : miscStatus.Open(kAspectKeys[aspect]).String();
      if (!text) continue;
      comClass.miscStatus[aspect] = ParseOleMisc(FromWide(*text));
      if (!comClass.miscStatus[aspect]) {
        warnings.push_back(u"class " + comClass.clsid + u" has a MiscStatus value \"" +
                           FromWide(*text) + u"\" that is no number; left out");
      }
    }
  }
  return comClass;
}

// Every HKCR\Interface key the registration wrote.
void ReadInterfaces(const RegistryKey& capture, CapturedRegistration& result) {
  for (const wchar_t* rootName : kClassesRoots) {
    const RegistryKey interfaces = capture.Open(rootName).Open(L"Interface");
    for (const std::wstring& iid : interfaces.SubkeyNames()) {
      const RegistryKey key = interfaces.Open(iid);
      result.interfaces.push_back({FromWide(iid), FromWide(key.String().value_or(L"")),
                                   Read(key, L"ProxyStubClsid32"), Read(key, L"NumMethods"),
                                   Read(key, L"BaseInterface"), Read(key, L"TypeLib")});
    }
  }
}

// The files other than the component that type libraries were registered from: those beside the
// component go into its manifest, others are left out with a warning.
void ReadTypeLibraryFiles(const RegistryKey& capture, const std::wstring& componentPath,
                          CapturedRegistration& result) {
  const std::wstring component = CanonicalPath(componentPath);
  std::vector<std::wstring> seen;
  for (const wchar_t* rootName : kClassesRoots) {
    const RegistryKey libraries = capture.Open(rootName).Open(L"TypeLib");
    for (const std::wstring& libraryId : libraries.SubkeyNames()) {
      const RegistryKey library = libraries.Open(libraryId);
      for (const std::wstring& version : library.SubkeyNames()) {
        const RegistryKey versionKey = library.Open(version);
        for (const std::wstring& locale : versionKey.SubkeyNames()) {
          for (const wchar_t* platform : {L"win32", L"win64"}) {
            const auto file = versionKey.Open(locale + L"\\" + platform).String();
            if (!file || file->empty()) continue;
            const std::wstring path = CanonicalPath(*file);
            // The component itself, or "<component>\<resource id>" for a further embedded one.
            if (path == component || FolderOf(path) == component) continue;
            if (std::find(seen.begin(), seen.end(), path) != seen.end()) continue;
            seen.push_back(path);
            if (FolderOf(path) == FolderOf(component)) {
              result.typeLibraryFiles.push_back(FullPath(PlainPath(*file)));
            } else {
              result.warnings.push_back(u"type library " + FromWide(Upper(libraryId)) +
                                        u" is registered from " + FromWide(*file) +
                                        u", which is not beside the component; left out");
            }
          }
        }
      }
    }
  }
}

// Reads every class below the capture key whose server is the component, and gives them the
// ProgIDs the registration's ProgID keys lead to.
CapturedRegistration ReadBack(const RegistryKey& capture, const std::wstring& componentPath) {
  CapturedRegistration result;
  std::map<std::wstring, ComClass> classes;  // by upper-case CLSID
  ProgIdTable progIds;
  for (const wchar_t* rootName : kClassesRoots) {
    const RegistryKey classesRoot = capture.Open(rootName);
    const RegistryKey clsidKey = classesRoot.Open(L"CLSID");
    for (const std::wstring& clsid : clsidKey.SubkeyNames()) {
      const RegistryKey classKey = clsidKey.Open(clsid);
      const auto server = classKey.Open(L"InprocServer32").String();
      if (!server || classes.contains(Upper(clsid))) continue;
      if (!IsThisServer(*server, componentPath)) {
        result.warnings.push_back(u"class " + FromWide(Upper(clsid)) + u" is registered for " +
                                  FromWide(*server) + u", not for this component; left out");
        continue;
      }
      ComClass comClass = ReadClass(clsid, classKey, result.warnings);
      progIds.classes.push_back(
          {comClass.clsid, Read(classKey, L"ProgID"), Read(classKey, L"VersionIndependentProgID")});
      classes.emplace(Upper(clsid), std::move(comClass));
    }
    // Every other key may be a ProgID: HKCR\<ProgID>\CLSID names its class, CurVer its current
    // version.
    for (const std::wstring& name : classesRoot.SubkeyNames()) {
      if (name.empty() || name.front() == L'.' || name.front() == L'{') continue;
      const RegistryKey key = classesRoot.Open(name);
      progIds.keys.push_back({FromWide(name),
                              FromWide(Upper(key.Open(L"CLSID").String().value_or(L""))),
                              Read(key, L"CurVer")});
    }
  }

  ReadInterfaces(capture, result);
  ReadTypeLibraryFiles(capture, componentPath, result);

  SettledProgIds settled = SettleProgIds(progIds);
  for (std::size_t i = 0; i < progIds.classes.size(); ++i) {
    ComClass& comClass = classes.at(ToWide(progIds.classes[i].clsid));
    comClass.progId = std::move(settled.classes[i].progId);
    comClass.otherProgIds = std::move(settled.classes[i].otherProgIds);
  }
  result.warnings.insert(result.warnings.end(), settled.warnings.begin(), settled.warnings.end());
  for (auto& entry : classes)
    result.classes.push_back(std::move(entry.second));
  std::vector<std::u16string> findings = CheckClasses(result.classes);
  result.warnings.insert(result.warnings.end(), findings.begin(), findings.end());
  return result;
}

}  // namespace

void AbandonCapture() {
  for (const Redirection& redirection : kRedirections) {
    RegOverridePredefKey(redirection.predefined, nullptr);
  }
  RemoveCaptureOf(GetCurrentProcessId());
}

void RemoveCaptureOf(unsigned long processId) {
  CaptureKeyBuffer buffer;
  RemoveCaptureKey(CaptureKeyPath(processId, buffer));
}

struct EmptyRegistryView::Parts {
  CaptureKey key;
  Redirected redirected{key};
};

EmptyRegistryView::EmptyRegistryView() : parts_(std::make_unique<Parts>()) {}
EmptyRegistryView::~EmptyRegistryView() = default;

CapturedRegistration CaptureRegistration(HMODULE component, const std::wstring& componentPath,
                                         WatchedThread& componentThread) {
  CaptureKey capture;
  {
    Redirected redirected(capture);
    EnablePerUserTypeLibraryRegistration();
    CallDllRegisterServer(component, componentThread);
  }
  CapturedRegistration result = ReadBack(capture.Root(), componentPath);
  if (result.classes.empty()) {
    throw Failure(ExitCode::NothingRegistered,
                  u"DllRegisterServer succeeded but registered no class served by " +
                      GetFileName(FromWide(componentPath)));
  }
  return result;
}

}  // namespace kestrelwing::regsvr42
