// What the system says: its message for an error code, full paths, this program's folder.
#pragma once

#include <windows.h>

#include <string>

namespace kestrelwing::regsvr42 {

// The system's one-line description of a Win32 error or HRESULT; empty when it has none.
std::u16string SystemText(DWORD code);

// "error <n>: <description>" for a Win32 error code.
std::u16string DescribeError(DWORD error);

// "0x<8 digits> (<description>)" for an HRESULT.
std::u16string DescribeHresult(HRESULT hr);

// The absolute form of a path; the path itself when the system cannot make one.
std::wstring FullPath(const std::wstring& path);

// The folder of the running executable.
std::wstring ExecutableFolder();

}  // namespace kestrelwing::regsvr42
