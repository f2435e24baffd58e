// The Windows twins of TestSupportPosix.cpp.
#include "tests/support/TestSupport.h"

#include "platform/Process.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <windows.h>

#include <tlhelp32.h>

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
    // The parent may be gone already on Windows, which keeps no tree of
    // processes: any process of the machine's own that runs will do.
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot list the processes");
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    long found = 0;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && found == 0;
         more = ::Process32NextW(snapshot, &entry)) {
        const auto pid = static_cast<long>(entry.th32ProcessID);
        if (pid != 0 && pid != ProcessNumber() && ProcessRuns(pid))
            found = pid;
    }
    ::CloseHandle(snapshot);
    if (found == 0)
        throw std::runtime_error("no other process runs");
    return found;
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
