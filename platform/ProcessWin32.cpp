#include "platform/Process.h"

#include "platform/WidePath.h"

#include <windows.h>

#include <bcrypt.h>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

long ProcessNumber() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool ProcessRuns(long pid) {
    // A long is 32 bits here: every positive one is a process number a DWORD
    // holds (MAXDWORD as a long is -1, so comparing with it refused them all).
    if (pid <= 0)
        return false;
    const HANDLE process =
        ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        // Another user's process may refuse even this much: it still runs.
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    // A process that has ended stays openable while anyone holds its handle.
    DWORD status = 0;
    const bool running = ::GetExitCodeProcess(process, &status) && status == STILL_ACTIVE;
    ::CloseHandle(process);
    return running;
}

bool FillRandom(void* buffer, size_t size) {
    return BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, static_cast<PUCHAR>(buffer),
                                            static_cast<ULONG>(size),
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG));
}

void LowerThreadPriority() noexcept {
    (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
}

bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void AnswerInParentConsole() {
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if ((output == nullptr || output == INVALID_HANDLE_VALUE) &&
        ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        const HANDLE console =
            ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE)
            ::SetStdHandle(STD_OUTPUT_HANDLE, console);
    }
}

std::vector<std::string> ProgramArguments(int, char**) {
    // The C runtime's argv is in the ANSI code page, which cannot hold every
    // name a user's files have.
    (void)::_setmode(::_fileno(stdout), _O_BINARY);
    (void)::_setmode(::_fileno(stderr), _O_BINARY);
    int count = 0;
    wchar_t** words = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; words && i < count; ++i) {
        const std::wstring_view word = words[i];
        arguments.push_back(Utf8FromWide(std::u16string(word.begin(), word.end())));
    }
    ::LocalFree(words);
    return arguments;
}
