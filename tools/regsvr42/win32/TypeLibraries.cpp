#include "TypeLibraries.h"

#include <windows.h>

#include <ole2.h>

#include <algorithm>

#include "Failure.h"
#include "PathParts.h"
#include "SystemInfo.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {
namespace {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  T** Out() { return &pointer_; }
  T* operator->() const { return pointer_; }
  T* Get() const { return pointer_; }

 private:
  T* pointer_ = nullptr;
};

// Attributes of a type, released with their type.
class TypeAttributes {
 public:
  explicit TypeAttributes(ITypeInfo* info) : info_(info) {
    if (FAILED(info_->GetTypeAttr(&attributes_))) attributes_ = nullptr;
  }
  TypeAttributes(const TypeAttributes&) = delete;
  TypeAttributes& operator=(const TypeAttributes&) = delete;
  ~TypeAttributes() {
    if (attributes_ != nullptr) info_->ReleaseTypeAttr(attributes_);
  }
  const TYPEATTR* operator->() const { return attributes_; }
  explicit operator bool() const { return attributes_ != nullptr; }

 private:
  ITypeInfo* info_;
  TYPEATTR* attributes_ = nullptr;
};

// The text of a BSTR handed over to the caller, which is freed.
std::u16string TakeString(BSTR text) {
  std::u16string taken = text != nullptr ? FromWide(text) : std::u16string();
  SysFreeString(text);
  return taken;
}

std::u16string TypeName(ITypeInfo* info) {
  BSTR name = nullptr;
  if (FAILED(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr))) return {};
  return TakeString(name);
}

// The type an interface derives from, if any.
bool BaseInterface(ITypeInfo* info, ComPtr<ITypeInfo>& base) {
  HREFTYPE reference = 0;
  return SUCCEEDED(info->GetRefTypeOfImplType(0, &reference)) &&
         SUCCEEDED(info->GetRefTypeInfo(reference, base.Out()));
}

// Methods in the interface's vtable: its own and those of every interface below it.
int CountMethods(ITypeInfo* info, int depth = 0) {
  TypeAttributes attributes(info);
  if (!attributes || depth > 64) return 0;
  int count = attributes->cFuncs;
  ComPtr<ITypeInfo> base;
  if (BaseInterface(info, base)) count += CountMethods(base.Get(), depth + 1);
  return count;
}

// The vtable side of a dual interface; the interface itself otherwise.
void VtableSide(ITypeInfo* info, ComPtr<ITypeInfo>& vtable) {
  HREFTYPE reference = 0;
  if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference)) &&
      SUCCEEDED(info->GetRefTypeInfo(reference, vtable.Out()))) {
    return;
  }
  info->AddRef();
  *vtable.Out() = info;
}

bool HasInterface(const TypeLibraryContents& contents, const std::u16string& iid) {
  return std::any_of(contents.interfaces.begin(), contents.interfaces.end(),
                     [&](const ProxyStubInterface& known) { return known.iid == iid; });
}

void ReadTypes(ITypeLib* library, const std::u16string& libraryId, TypeLibraryContents& contents) {
  const UINT count = library->GetTypeInfoCount();
  for (UINT index = 0; index < count; ++index) {
    ComPtr<ITypeInfo> info;
    if (FAILED(library->GetTypeInfo(index, info.Out()))) continue;
    TypeAttributes attributes(info.Get());
    if (!attributes) continue;
    if (attributes->typekind == TKIND_COCLASS) {
      contents.coClasses.push_back({GuidText(attributes->guid), libraryId});
      continue;
    }
    if (attributes->typekind == TKIND_INTERFACE || attributes->typekind == TKIND_DISPATCH) {
      contents.describedIids.push_back(GuidText(attributes->guid));
    }
    const bool dual =
        attributes->typekind == TKIND_DISPATCH && (attributes->wTypeFlags & TYPEFLAG_FDUAL) != 0;
    const bool automation =
        attributes->typekind == TKIND_INTERFACE &&
        (attributes->wTypeFlags & (TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDUAL)) != 0;
    if (!dual && !automation) continue;

    ProxyStubInterface proxyStub;
    proxyStub.iid = GuidText(attributes->guid);
    if (HasInterface(contents, proxyStub.iid)) continue;
    proxyStub.name = TypeName(info.Get());
    proxyStub.typeLibraryId = libraryId;
    ComPtr<ITypeInfo> vtable;
    VtableSide(info.Get(), vtable);
    proxyStub.numMethods = CountMethods(vtable.Get());
    ComPtr<ITypeInfo> base;
    if (BaseInterface(vtable.Get(), base)) {
      TypeAttributes baseAttributes(base.Get());
      if (baseAttributes) proxyStub.baseInterface = GuidText(baseAttributes->guid);
    }
    contents.interfaces.push_back(std::move(proxyStub));
  }
}

// The help folder of a type library: the folder part of its help file when that is relative to
// the component; an absolute folder of the build machine means nothing beside the component.
std::u16string HelpDirectory(ITypeLib* library) {
  BSTR helpFile = nullptr;
  if (FAILED(library->GetDocumentation(-1, nullptr, nullptr, nullptr, &helpFile))) return {};
  const std::u16string path = TakeString(helpFile);
  const std::size_t name = FileNameStart(path);
  const bool absolute = path.find(u':') != std::u16string::npos || path.starts_with(u"\\");
  if (name == 0 || absolute) return {};
  return path.substr(0, name - 1);
}

// Reads the library at `path` (a .tlb file, or a component whose TYPELIB resource `resourceId`
// holds it) and its types; `source` names it in a failure.
TypeLibrary ReadLibrary(const std::wstring& path, int resourceId, const std::u16string& source,
                        TypeLibraryContents& contents) {
  ComPtr<ITypeLib> library;
  const HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.Out());
  if (FAILED(hr)) {
    throw Failure(ExitCode::TypeLibraryFailed,
                  source + u" cannot be read (" + HexCode(static_cast<std::uint32_t>(hr)) + u")");
  }
  TLIBATTR* attributes = nullptr;
  if (FAILED(library->GetLibAttr(&attributes))) {
    throw Failure(ExitCode::TypeLibraryFailed, source + u" has no attributes");
  }
  TypeLibrary entry;
  entry.id = GuidText(attributes->guid);
  entry.majorVersion = attributes->wMajorVerNum;
  entry.minorVersion = attributes->wMinorVerNum;
  entry.flags = attributes->wLibFlags;
  entry.resourceId = resourceId;
  library->ReleaseTLibAttr(attributes);
  entry.helpDirectory = HelpDirectory(library.Get());
  ReadTypes(library.Get(), entry.id, contents);
  return entry;
}

BOOL CALLBACK CollectResourceId(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR ids) {
  if (IS_INTRESOURCE(name)) {
    reinterpret_cast<std::vector<int>*>(ids)->push_back(
        static_cast<int>(reinterpret_cast<ULONG_PTR>(name)));
  }
  return TRUE;
}

}  // namespace

TypeLibraryContents ReadTypeLibraries(const std::wstring& componentPath) {
  std::vector<int> resourceIds;
  const LoadedModule image(LoadLibraryExW(
      componentPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (image) {
    EnumResourceNamesW(image.get(), L"TYPELIB", CollectResourceId,
                       reinterpret_cast<LONG_PTR>(&resourceIds));
  }
  std::sort(resourceIds.begin(), resourceIds.end());
  TypeLibraryContents contents;
  for (int resourceId : resourceIds) {
    std::wstring path = componentPath;
    if (resourceId != 1) path += L"\\" + std::to_wstring(resourceId);
    const std::u16string source = u"the type library in TYPELIB resource " + Decimal(resourceId);
    contents.libraries.push_back(ReadLibrary(path, resourceId, source, contents));
  }
  return contents;
}

void ReadTypeLibraryFile(const std::wstring& path, TypeLibraryContents& contents) {
  TypeLibraryContents own;
  TypeLibrary library =
      ReadLibrary(path, 1, u"the type library file " + GetFileName(FromWide(path)), own);
  const auto known = [&](const TypeLibrary& other) { return other.id == library.id; };
  if (std::any_of(contents.libraries.begin(), contents.libraries.end(), known) ||
      std::any_of(contents.files.begin(), contents.files.end(),
                  [&](const TypeLibraryFile& file) { return known(file.library); })) {
    return;
  }
  contents.files.push_back({GetFileName(FromWide(path)), std::move(library)});
  for (ProxyStubInterface& proxyStub : own.interfaces) {
    if (!HasInterface(contents, proxyStub.iid)) contents.interfaces.push_back(std::move(proxyStub));
  }
  contents.coClasses.insert(contents.coClasses.end(), own.coClasses.begin(), own.coClasses.end());
  contents.describedIids.insert(contents.describedIids.end(), own.describedIids.begin(),
                                own.describedIids.end());
}

}  // namespace kestrelwing::regsvr42
