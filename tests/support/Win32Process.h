// Starting a child process in the Windows tests.
#pragma once

#include <string>
#include <windows.h>

// CreateProcessW with inherited handles, as the tests start their children.
// Under Wine a start now and then fails with ERROR_INTERNAL_ERROR before the
// child runs any of its code (Wine's own process start, under load): it is
// tried again there, a few times. Any other failure is returned at once.
bool StartChild(std::wstring& commandLine, DWORD flags, const wchar_t* folder,
                STARTUPINFOW& startup, PROCESS_INFORMATION& child);
