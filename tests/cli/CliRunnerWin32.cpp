// The Windows twins of CliRunnerPosix.cpp: pelkon-cli.exe started with
// CreateProcessW, its output caught in files, and a file held by a handle that
// shares nothing.
#include "tests/cli/CliRunner.h"

#include "platform/WidePath.h"
#include "tests/support/TestSupport.h"
#include "tests/support/Win32Process.h"

#include <windows.h>

#include <stdexcept>
#include <string>

namespace {

std::wstring Wide(const std::string& utf8) {
    const std::u16string text = WideFromUtf8(utf8).value();
    return std::wstring(text.begin(), text.end());
}

// One word of a command line as CommandLineToArgvW reads it back.
std::wstring Quoted(const std::wstring& word) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : word) {
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
    return quoted + L"\"";
}

// pelkon-cli.exe, built into the same folder as the tests.
std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"pelkon-cli.exe";
}

// A file the child writes its output to, read back after it ends.
class OutputFile {
public:
    explicit OutputFile(const std::string& path) : path_(path) {
        SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
        handle_ =
            ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                          &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE)
            throw std::runtime_error("cannot create " + path);
    }
    ~OutputFile() { Close(); }
    HANDLE Handle() const { return handle_; }
    std::string Read() {
        Close();
        return ReadAll(path_);
    }

private:
    void Close() {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    std::string path_;
    HANDLE handle_;
};

} // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& workDir,
                 const CliOptions& options) {
    if (options.fileSizeLimit || options.memoryLimit || options.asNobody)
        throw std::invalid_argument("Windows has no such limit for a child");
    const TempDir outputs;
    OutputFile out(options.outputFile.empty() ? outputs.File("out") : options.outputFile);
    OutputFile err(outputs.File("err"));
    std::wstring commandLine = Quoted(ProgramPath());
    for (const std::string& arg : args)
        commandLine += L" " + Quoted(Wide(arg));

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = out.Handle();
    startup.hStdError = err.Handle();
    PROCESS_INFORMATION process{};
    if (!StartChild(commandLine, CREATE_NO_WINDOW, Wide(workDir).c_str(), startup, process))
        throw std::runtime_error("cannot start pelkon-cli.exe (error " +
                                 std::to_string(::GetLastError()) + ")");
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return {static_cast<int>(exitCode), out.Read(), err.Read()};
}

HeldFile::HeldFile(const std::string& path)
    : handle_(::CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    if (handle_ == INVALID_HANDLE_VALUE)
        throw std::runtime_error("cannot hold " + path);
}

HeldFile::~HeldFile() {
    ::CloseHandle(handle_);
}
