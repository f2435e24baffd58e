// The Windows twins of TestSupportPosix.cpp.
#include "tests/support/TestSupport.h"
#include "tests/support/Win32Process.h"

#include "platform/Process.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <windows.h>

namespace fs = std::filesystem;

TempDir::TempDir() {
    const fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        uint64_t random = 0;
        FillRandom(&random, sizeof random);
        char name[40];
        std::snprintf(name, sizeof name, "pelkon-test-%016llx",
                      static_cast<unsigned long long>(random));
        if (fs::create_directory(base / name)) {
            const std::u8string path = (base / name).generic_u8string();
            path_.assign(path.begin(), path.end());
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

long OtherRunningProcess() {
    // This program started again, suspended before its first instruction: it
    // runs, as far as the system tells, until it is ended with this one.
    struct Suspended {
        PROCESS_INFORMATION process{};
        Suspended() {
            wchar_t self[MAX_PATH];
            ::GetModuleFileNameW(nullptr, self, MAX_PATH);
            std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                  CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                                  &process))
                throw std::runtime_error("cannot start a process");
        }
        ~Suspended() {
            ::TerminateProcess(process.hProcess, 0);
            ::CloseHandle(process.hThread);
            ::CloseHandle(process.hProcess);
        }
    };
    static const Suspended other;
    return static_cast<long>(other.process.dwProcessId);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(HostPath(path_), ignored);
}

std::string RunInChild(const std::function<std::string()>& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        return error.what();
    }
}

bool BecomeNobody() {
    return false;
}

std::string AsUnprivilegedUser(const std::function<std::string()>& body) {
    return RunInChild(body);
}

void GiveToUnprivilegedUser(const std::string&) {}

bool RunsUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

bool StartChild(std::wstring& commandLine, DWORD flags, const wchar_t* folder,
                STARTUPINFOW& startup, PROCESS_INFORMATION& child) {
    constexpr int Attempts = 5;
    for (int attempt = 1;; ++attempt) {
        if (::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                             folder, &startup, &child))
            return true;
        if (::GetLastError() != ERROR_INTERNAL_ERROR || !RunsUnderWine() || attempt == Attempts)
            return false;
        ::Sleep(100);
    }
}
