// Creates objects by ProgID, the way a script host does, and says which class each ProgID gave:
// one line "<ProgID> <class> created" per name, or the step that failed with its HRESULT.
// Exit code 0 when every object was created. Whether the ProgIDs resolve through the registry or
// through a manifest depends only on where the client runs.
//   ProgIdClient <ProgID>...
#include <windows.h>

#include <ole2.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

// Through a manifest, CLSIDFromProgID answers an alias that the activation context maps to the
// class. The class's entry in the context (the COM server redirection record) starts with its size,
// flags and threading model, then the CLSID of the class it describes.
constexpr std::size_t kRedirectedClassOffset = 3 * sizeof(ULONG);

CLSID ClassBehind(const CLSID& answered) {
  ACTCTX_SECTION_KEYED_DATA data = {};
  data.cbSize = sizeof data;
  if (!FindActCtxSectionGuid(0, nullptr, ACTIVATION_CONTEXT_SECTION_COM_SERVER_REDIRECTION,
                             &answered, &data) ||
      data.ulLength < kRedirectedClassOffset + sizeof(CLSID)) {
    return answered;
  }
  CLSID redirected;
  std::memcpy(&redirected, static_cast<const BYTE*>(data.lpData) + kRedirectedClassOffset,
              sizeof redirected);
  return redirected;
}

bool Create(const wchar_t* progId) {
  CLSID clsid;
  HRESULT hr = CLSIDFromProgID(progId, &clsid);
  if (FAILED(hr)) {
    std::printf("%ls CLSIDFromProgID failed: 0x%08lX\n", progId, static_cast<unsigned long>(hr));
    return false;
  }
  wchar_t text[40];
  StringFromGUID2(ClassBehind(clsid), text, 40);
  IUnknown* object = nullptr;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                        reinterpret_cast<void**>(&object));
  if (FAILED(hr)) {
    std::printf("%ls %ls CoCreateInstance failed: 0x%08lX\n", progId, text,
                static_cast<unsigned long>(hr));
    return false;
  }
  object->Release();
  std::printf("%ls %ls created\n", progId, text);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  bool all = argc > 1;
  for (int i = 1; i < argc; ++i)
    all = Create(argv[i]) && all;
  CoUninitialize();
  return all ? 0 : 1;
}
