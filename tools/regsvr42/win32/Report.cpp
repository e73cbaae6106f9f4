#include "Report.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include <kestrelwing/cXmlNode.h>

#include "SystemInfo.h"
#include "WideText.h"

namespace kestrelwing::regsvr42 {
namespace {

HANDLE g_report = INVALID_HANDLE_VALUE;
std::wstring g_path;

// Said on standard error alone: the report is what failed.
void GiveUp(DWORD error) {
  if (g_report != INVALID_HANDLE_VALUE) CloseHandle(g_report);
  g_report = INVALID_HANDLE_VALUE;
  const std::string line =
      ToUtf8(u"regsvr42: warning: cannot write the report " + FromWide(g_path) + u" (" +
             DescribeError(error) + u"); the run goes on without it\n");
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void Write(const char* data, std::size_t size) {
  DWORD written = 0;
  if (g_report != INVALID_HANDLE_VALUE &&
      !WriteFile(g_report, data, static_cast<DWORD>(size), &written, nullptr)) {
    GiveUp(GetLastError());
  }
}

}  // namespace

void OpenReport(const std::wstring& path, bool append) {
  g_path = path;
  constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (!append) {
    // Emptied first; then opened for adding only, like the programs this one starts, so that
    // every line lands at the end whoever wrote the one before.
    const HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE, kShare, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) return GiveUp(GetLastError());
    CloseHandle(created);
  }
  g_report = CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, kShare, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (g_report == INVALID_HANDLE_VALUE) GiveUp(GetLastError());
}

void AddToReport(std::string_view text) {
  while (g_report != INVALID_HANDLE_VALUE && !text.empty()) {
    const std::size_t end = text.find('\n');
    Write(text.data(), std::min(end, text.size()));
    if (end == std::string_view::npos) return;
    Write("\r\n", 2);
    text.remove_prefix(end + 1);
  }
}

const std::wstring& ReportPath() {
  static const std::wstring none;
  return g_report != INVALID_HANDLE_VALUE ? g_path : none;
}

}  // namespace kestrelwing::regsvr42
