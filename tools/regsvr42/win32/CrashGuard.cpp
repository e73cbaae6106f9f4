#include "CrashGuard.h"

#include <windows.h>

#include <cstdio>

#include <kestrelwing/cXmlNode.h>

#include "Failure.h"
#include "RegistryCapture.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

// The line is composed before anything can crash: the handler only writes it out.
std::string g_crashLine;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
  if (g_crashLine.empty()) return EXCEPTION_CONTINUE_SEARCH;
  const std::u16string code =
      HexCode(static_cast<std::uint32_t>(exception->ExceptionRecord->ExceptionCode));
  const std::string line = g_crashLine + ToUtf8(code) + ")\n";
  AbandonCapture();
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
            nullptr);
  ExitProcess(static_cast<UINT>(ExitCode::ComponentCrashed));
}

}  // namespace

void InstallCrashGuard() {
  SetUnhandledExceptionFilter(ReportCrash);
}

CrashContext::CrashContext(const std::u16string& component, const char16_t* step) {
  std::fflush(stdout);
  std::fflush(stderr);
  g_crashLine = ToUtf8(u"regsvr42: error: " + component + u": the component crashed in " +
                       std::u16string(step) + u" (exception ");
}

CrashContext::~CrashContext() {
  g_crashLine.clear();
}

}  // namespace kestrelwing::regsvr42
