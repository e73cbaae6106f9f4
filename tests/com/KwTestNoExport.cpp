// A DLL that is no COM server: it exports neither DllRegisterServer nor anything else of COM.
#include <windows.h>

extern "C" __declspec(dllexport) int KwTestAnswer() {
  return 42;
}
