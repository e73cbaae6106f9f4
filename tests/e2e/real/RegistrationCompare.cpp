// Compares the manifest the generator wrote for a component with what the registry of this Wine
// prefix holds for the registered component: the classes whose InprocServer32 is the file, their
// ThreadingModel and TypeLib, the type libraries registered from the file, and every ProgID key
// that CLSIDFromProgID resolves to one of those classes (through CurVer where a key has no CLSID).
// Classes the generator left out (the component declines them) are named after the manifest: they
// and the ProgIDs leading to them must be absent from it, and everything else of theirs (type
// libraries, proxy/stubs) stays. Prints one summary line, then one line per disagreement; exit code
// 1 on any disagreement, 2 when the manifest cannot be read.
//   RegistrationCompare <registered component path> <manifest> [<CLSID left out>...]
#include <windows.h>

#include <ole2.h>

#include <kestrelwing/cXml.h>

#include <cstdint>
#include <cstdio>
#include <cwctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using kestrelwing::cXml;
using kestrelwing::NodeRef;
using kestrelwing::ToUtf8;

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text)
    c = static_cast<wchar_t>(towupper(c));
  return text;
}

std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const std::wstring& text) {
  return ToUtf8(std::u16string(text.begin(), text.end()));
}

// A string value of HKCR\<key> (expanded); none when missing.
std::optional<std::wstring> Value(const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t data[1024];
  DWORD bytes = sizeof data;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, data, &bytes) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(data);
}

std::vector<std::wstring> Subkeys(const std::wstring& path) {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return names;
  }
  wchar_t name[256];
  for (DWORD index = 0;; ++index) {
    DWORD length = 256;
    const LSTATUS status =
        RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status == ERROR_SUCCESS) names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

std::wstring LongUpper(const std::wstring& path) {
  wchar_t longer[MAX_PATH];
  const DWORD length = GetLongPathNameW(path.c_str(), longer, MAX_PATH);
  return Upper(length == 0 || length >= MAX_PATH ? path : std::wstring(longer, length));
}

// A server value names the component by its full path, or by its bare file name.
bool NamesComponent(std::wstring server, const std::wstring& component) {
  if (server.size() >= 2 && server.front() == L'"' && server.back() == L'"') {
    server = server.substr(1, server.size() - 2);
  }
  if (server.find(L'\\') == std::wstring::npos) {
    return Upper(server) == Upper(component.substr(component.find_last_of(L'\\') + 1));
  }
  return LongUpper(server) == LongUpper(component);
}

struct Facts {
  std::map<std::wstring, std::wstring> threadingModels;  // by upper CLSID
  std::map<std::wstring, std::wstring> typeLibraryIds;   // by upper CLSID, only where registered
  std::set<std::wstring> typeLibraries;                  // "{LIBID} major.minor", upper
  std::map<std::wstring, std::wstring> progIds;          // upper ProgID -> upper CLSID
  std::set<std::wstring> ownProxyStubs;  // upper IIDs marshaled by a class of the component
};

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return Upper(text);
}

// The class CLSIDFromProgID gives for the name, through CurVer when the key has no CLSID.
std::optional<std::wstring> ClassOfProgId(const std::wstring& name) {
  CLSID clsid;
  if (SUCCEEDED(CLSIDFromProgID(name.c_str(), &clsid))) return GuidText(clsid);
  const auto current = Value(name + L"\\CurVer");
  if (current && SUCCEEDED(CLSIDFromProgID(current->c_str(), &clsid))) return GuidText(clsid);
  return std::nullopt;
}

// "3.a" (hexadecimal, as TypeLib keys name versions) -> "3.10".
std::wstring DecimalVersion(const std::wstring& version) {
  const std::size_t dot = version.find(L'.');
  if (dot == std::wstring::npos) return version;
  return std::to_wstring(std::wcstoul(version.substr(0, dot).c_str(), nullptr, 16)) + L"." +
         std::to_wstring(std::wcstoul(version.substr(dot + 1).c_str(), nullptr, 16));
}

Facts Registered(const std::wstring& component) {
  Facts facts;
  for (const std::wstring& clsid : Subkeys(L"CLSID")) {
    const std::wstring key = L"CLSID\\" + clsid;
    const auto server = Value(key + L"\\InprocServer32");
    if (!server || !NamesComponent(*server, component)) continue;
    facts.threadingModels[Upper(clsid)] =
        Value(key + L"\\InprocServer32", L"ThreadingModel").value_or(L"");
    if (const auto library = Value(key + L"\\TypeLib")) {
      facts.typeLibraryIds[Upper(clsid)] = Upper(*library);
    }
  }
  for (const std::wstring& libraryId : Subkeys(L"TypeLib")) {
    for (const std::wstring& version : Subkeys(L"TypeLib\\" + libraryId)) {
      const std::wstring path = L"TypeLib\\" + libraryId + L"\\" + version + L"\\0\\win64";
      const auto file = Value(path);
      // An embedded library other than the first is registered as "<file>\<resource id>".
      if (file && (NamesComponent(*file, component) ||
                   NamesComponent(file->substr(0, file->find_last_of(L'\\')), component))) {
        facts.typeLibraries.insert(Upper(libraryId) + L" " + DecimalVersion(version));
      }
    }
  }
  for (const std::wstring& iid : Subkeys(L"Interface")) {
    const auto proxyStub = Value(L"Interface\\" + iid + L"\\ProxyStubClsid32");
    if (proxyStub && facts.threadingModels.contains(Upper(*proxyStub))) {
      facts.ownProxyStubs.insert(Upper(iid));
    }
  }
  for (const std::wstring& name : Subkeys(L"")) {
    if (name.empty() || name.front() == L'.' || name.front() == L'{') continue;
    if (!Value(name + L"\\CLSID") && !Value(name + L"\\CurVer")) continue;
    const auto clsid = ClassOfProgId(name);
    if (clsid && facts.threadingModels.contains(*clsid)) facts.progIds[Upper(name)] = *clsid;
  }
  return facts;
}

struct Described {
  Facts facts;
  std::vector<std::wstring> repeatedProgIds;
};

Described FromManifest(const cXml& document) {
  Described described;
  Facts& facts = described.facts;
  auto addProgId = [&](std::u16string_view name, const std::wstring& clsid) {
    if (name.empty()) return;
    if (!facts.progIds.emplace(Upper(Wide(name)), clsid).second) {
      described.repeatedProgIds.push_back(Wide(name));
    }
  };
  for (const NodeRef& file : document.Root()->Nodes(u"file")) {
    for (const NodeRef& comClass : file->Nodes(u"comClass")) {
      const std::wstring clsid = Upper(Wide(comClass->PropertyValue(u"clsid")));
      facts.threadingModels[clsid] = Wide(comClass->PropertyValue(u"threadingModel"));
      const std::u16string library = comClass->PropertyValue(u"tlbid");
      if (!library.empty()) facts.typeLibraryIds[clsid] = Upper(Wide(library));
      addProgId(comClass->PropertyValue(u"progid"), clsid);
      for (const NodeRef& progId : comClass->Nodes(u"progid"))
        addProgId(progId->Value(), clsid);
    }
    for (const NodeRef& proxyStub : file->Nodes(u"comInterfaceProxyStub"))
      facts.ownProxyStubs.insert(Upper(Wide(proxyStub->PropertyValue(u"iid"))));
    for (const NodeRef& library : file->Nodes(u"typelib")) {
      facts.typeLibraries.insert(Upper(Wide(library->PropertyValue(u"tlbid"))) + L" " +
                                 Wide(library->PropertyValue(u"version")));
    }
  }
  return described;
}

class Report {
 public:
  void Disagree(const std::string& line) { lines_.push_back(line); }
  bool Clean() const { return lines_.empty(); }
  void Print() const {
    for (const std::string& line : lines_)
      std::printf("  %s\n", line.c_str());
  }

 private:
  std::vector<std::string> lines_;
};

// How many registered classes the manifest describes exactly as the registry does.
int CompareClasses(const Facts& registered, const Facts& manifest, Report& report) {
  int agreeing = 0;
  for (const auto& [clsid, threadingModel] : registered.threadingModels) {
    const auto found = manifest.threadingModels.find(clsid);
    if (found == manifest.threadingModels.end()) {
      report.Disagree("class " + Narrow(clsid) + " is missing from the manifest");
      continue;
    }
    bool agrees = true;
    if (Upper(found->second) != Upper(threadingModel)) {
      report.Disagree("class " + Narrow(clsid) + ": threadingModel \"" + Narrow(found->second) +
                      "\", registered \"" + Narrow(threadingModel) + "\"");
      agrees = false;
    }
    const auto library = registered.typeLibraryIds.find(clsid);
    const auto described = manifest.typeLibraryIds.find(clsid);
    const std::wstring libraryId =
        library == registered.typeLibraryIds.end() ? L"" : library->second;
    const std::wstring describedId =
        described == manifest.typeLibraryIds.end() ? L"" : described->second;
    // Without a TypeLib key the manifest may name the library whose coclass describes the class.
    if (libraryId != describedId && !(libraryId.empty() && !describedId.empty())) {
      report.Disagree("class " + Narrow(clsid) + ": tlbid \"" + Narrow(describedId) +
                      "\", registered \"" + Narrow(libraryId) + "\"");
      agrees = false;
    }
    if (agrees) ++agreeing;
  }
  for (const auto& entry : manifest.threadingModels) {
    if (!registered.threadingModels.contains(entry.first)) {
      report.Disagree("class " + Narrow(entry.first) + " in the manifest is not registered for " +
                      "the component");
    }
  }
  return agreeing;
}

int CompareProgIds(const Facts& registered, const Facts& manifest, Report& report) {
  int agreeing = 0;
  for (const auto& [name, clsid] : registered.progIds) {
    const auto found = manifest.progIds.find(name);
    if (found == manifest.progIds.end()) {
      report.Disagree("ProgID " + Narrow(name) + " (class " + Narrow(clsid) +
                      ") is missing from the manifest");
    } else if (found->second != clsid) {
      report.Disagree("ProgID " + Narrow(name) + " leads to " + Narrow(found->second) +
                      " in the manifest, to " + Narrow(clsid) + " in the registry");
    } else {
      ++agreeing;
    }
  }
  for (const auto& entry : manifest.progIds) {
    if (!registered.progIds.contains(entry.first)) {
      report.Disagree("ProgID " + Narrow(entry.first) + " in the manifest leads nowhere in the " +
                      "registry");
    }
  }
  return agreeing;
}

bool ReadManifest(const wchar_t* path, cXml& document) {
  std::FILE* file = _wfopen(path, L"rb");
  if (file == nullptr) return false;
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  std::fclose(file);
  return document.Parse(std::span<const std::uint8_t>(bytes));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: RegistrationCompare <registered component> <manifest> [<CLSID>...]\n");
    return 2;
  }
  cXml document;
  if (!ReadManifest(argv[2], document)) {
    std::fprintf(stderr, "cannot read the manifest %s\n", Narrow(argv[2]).c_str());
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const std::wstring component = argv[1];
  Facts registered = Registered(component);
  const Described described = FromManifest(document);
  Report report;
  // A class left out takes its ProgIDs with it; it must be a registered class the manifest lacks.
  for (int i = 3; i < argc; ++i) {
    const std::wstring clsid = Upper(argv[i]);
    if (registered.threadingModels.erase(clsid) == 0) {
      report.Disagree("class " + Narrow(clsid) + " was left out but is not registered");
    }
    if (described.facts.threadingModels.contains(clsid)) {
      report.Disagree("class " + Narrow(clsid) + " was left out but is in the manifest");
    }
    registered.typeLibraryIds.erase(clsid);
    std::erase_if(registered.progIds, [&](const auto& entry) { return entry.second == clsid; });
  }
  const int classes = CompareClasses(registered, described.facts, report);
  const int progIds = CompareProgIds(registered, described.facts, report);
  for (const std::wstring& repeated : described.repeatedProgIds)
    report.Disagree("ProgID " + Narrow(repeated) + " appears twice in the manifest");
  int libraries = 0;
  for (const std::wstring& library : registered.typeLibraries) {
    if (described.facts.typeLibraries.contains(library)) {
      ++libraries;
    } else {
      report.Disagree("type library " + Narrow(library) + " is missing from the manifest");
    }
  }
  int proxyStubs = 0;
  for (const std::wstring& iid : registered.ownProxyStubs) {
    if (described.facts.ownProxyStubs.contains(iid)) {
      ++proxyStubs;
    } else {
      report.Disagree("interface " + Narrow(iid) + " is marshaled by a class of the component " +
                      "but has no comInterfaceProxyStub");
    }
  }
  for (const std::wstring& iid : described.facts.ownProxyStubs) {
    if (!registered.ownProxyStubs.contains(iid)) {
      report.Disagree("comInterfaceProxyStub " + Narrow(iid) + " is not registered so");
    }
  }
  const std::wstring name = component.substr(component.find_last_of(L'\\') + 1);
  std::printf(
      "%s: classes %d/%zu (%d left out), ProgIDs %d/%zu, type libraries %d/%zu, own proxy/stubs "
      "%d/%zu%s\n",
      Narrow(name).c_str(), classes, registered.threadingModels.size(), argc - 3, progIds,
      registered.progIds.size(), libraries, registered.typeLibraries.size(), proxyStubs,
      registered.ownProxyStubs.size(), report.Clean() ? "" : " DISAGREES");
  report.Print();
  CoUninitialize();
  return report.Clean() ? 0 : 1;
}
