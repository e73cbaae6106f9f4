// A DLL whose DllMain never returns from DLL_PROCESS_ATTACH: loading it does not end.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Sleep(INFINITE);
  return TRUE;
}

// Never reached; there only to make the DLL look like a COM server.
extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
  return S_OK;
}
