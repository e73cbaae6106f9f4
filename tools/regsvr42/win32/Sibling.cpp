#include "Sibling.h"

#include <windows.h>

#include <cstdio>

#include "Failure.h"
#include "Files.h"
#include "PathParts.h"
#include "Paths.h"
#include "RegistryCapture.h"
#include "SystemInfo.h"
#include "WideText.h"
#include "Win32Handles.h"

namespace kestrelwing::regsvr42 {
namespace {

constexpr wchar_t kExecutable[] = L"regsvr42.exe";

std::wstring FolderName(Architecture architecture) {
  return architecture == Architecture::Amd64 ? L"x64" : L"x86";
}

}  // namespace

std::optional<std::wstring> FindSiblingGenerator(Architecture architecture) {
  const std::wstring own = FolderOf(ProgramPath());
  // tools\regsvr42.exe looks in tools\<other>\; tools\<own>\regsvr42.exe looks back in tools\.
  std::wstring candidate = own + L"\\" + FolderName(architecture) + L"\\" + kExecutable;
  if (IsFile(candidate)) return candidate;
  const std::size_t name = FileNameStart(FromWide(own));
  if (name != 0 &&
      CompareStringOrdinal(own.c_str() + name, -1, FolderName(kOwnArchitecture).c_str(), -1,
                           TRUE) == CSTR_EQUAL) {
    candidate = FolderOf(own) + L"\\" + kExecutable;
    if (IsFile(candidate)) return candidate;
  }
  return std::nullopt;
}

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

ChildRun RunWithinLimit(const std::wstring& program, std::wstring commandLine,
                        unsigned long limitSeconds) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  // What this process has written comes before what the child writes.
  std::fflush(stdout);
  std::fflush(stderr);
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return {ChildRun::Outcome::NotStarted, 0, GetLastError()};
  }
  CloseHandle(process.hThread);
  const UniqueHandle running(process.hProcess);
  const bool timedOut = WaitForSingleObject(running.get(), limitSeconds * 1000) == WAIT_TIMEOUT;
  if (timedOut) {
    TerminateProcess(running.get(), static_cast<UINT>(ExitCode::TimedOut));
    WaitForSingleObject(running.get(), INFINITE);
  }
  // A child that ended normally has removed its key itself; one ended here, or one that crashed
  // past its guard, has not.
  RemoveCaptureOf(process.dwProcessId);
  if (timedOut) return {ChildRun::Outcome::TimedOut, static_cast<int>(ExitCode::TimedOut), 0};
  DWORD exitCode = 0xFFFFFFFF;  // when even that is not known: no code a run ends with
  GetExitCodeProcess(running.get(), &exitCode);
  return {ChildRun::Outcome::Ended, static_cast<int>(exitCode), 0};
}

ChildRun RunSiblingGenerator(const std::wstring& generator,
                             const std::vector<std::u16string>& settings,
                             const std::wstring& component, unsigned long limitSeconds) {
  std::wstring commandLine = QuoteArgument(generator);
  for (const std::u16string& setting : settings)
    commandLine += L" " + QuoteArgument(ToWide(setting));
  commandLine += L" " + QuoteArgument(component);
  return RunWithinLimit(generator, std::move(commandLine), limitSeconds);
}

}  // namespace kestrelwing::regsvr42
