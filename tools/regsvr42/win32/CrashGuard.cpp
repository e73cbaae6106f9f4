#include "CrashGuard.h"

#include <windows.h>

#include <cstdio>

#include <kestrelwing/cXmlNode.h>

#include "RegistryCapture.h"
#include "Report.h"

namespace kestrelwing::regsvr42 {
namespace {

// The line up to the exception code, composed before anything can crash: the handler itself
// allocates nothing, as a crashed component may have left the heap broken or locked (the registry
// calls that remove the temporary key are the system's).
std::string g_crashLine;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* exception) {
  if (g_crashLine.empty()) return EXCEPTION_CONTINUE_SEARCH;
  char code[] = "0x00000000";
  auto value = static_cast<std::uint32_t>(exception->ExceptionRecord->ExceptionCode);
  for (std::size_t i = sizeof(code) - 1; value != 0; value >>= 4) {
    code[--i] = "0123456789ABCDEF"[value & 0xF];
  }
  EndGenerator({g_crashLine, code, ")\n"}, ExitCode::ComponentCrashed);
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

void EndGenerator(std::initializer_list<std::string_view> line, ExitCode code) {
  AbandonCapture();
  const HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
  for (const std::string_view part : line) {
    DWORD written = 0;
    WriteFile(standardError, part.data(), static_cast<DWORD>(part.size()), &written, nullptr);
    AddToReport(part);
  }
  // Not ExitProcess: that would run the DllMain of every loaded module, the component's too,
  // and wait for the loader lock a thread stuck in DllMain holds.
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
  ExitProcess(static_cast<UINT>(code));  // not reached
}

}  // namespace kestrelwing::regsvr42
