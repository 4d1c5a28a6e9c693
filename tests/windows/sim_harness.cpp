#include "tests/windows/sim_harness.h"

#include <fstream>
#include <sstream>

namespace simtest {

fs::path ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return fs::path(path).parent_path();
}

fs::path PublishingDouble(bool withLastTexts) {
    const fs::path folder = ProgramFolder().parent_path() / "double";
    return (withLastTexts ? folder / "last-texts" : folder) / "KeloPublish.dll";
}

TempFolder::TempFolder() {
    static int counter = 0;
    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = fs::path(temp) / ("velluma-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                              std::to_string(::GetTickCount()) + "-" + std::to_string(++counter));
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

namespace {

std::wstring Quote(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') { ++backslashes; continue; }
        if (c == L'"') out.append(backslashes * 2 + 1, L'\\');
        else out.append(backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

// The current environment with some variables replaced, as a block for CreateProcess.
std::wstring Environment(const std::vector<std::pair<std::wstring, std::wstring>>& overrides) {
    std::wstring block;
    wchar_t* current = ::GetEnvironmentStringsW();
    for (const wchar_t* p = current; *p; p += wcslen(p) + 1) {
        std::wstring entry = p;
        bool replaced = false;
        for (const auto& [name, value] : overrides)
            if (_wcsnicmp(entry.c_str(), (name + L"=").c_str(), name.size() + 1) == 0) replaced = true;
        if (!replaced) block += entry + L'\0';
    }
    ::FreeEnvironmentStringsW(current);
    for (const auto& [name, value] : overrides) block += name + L"=" + value + L'\0';
    return block + L'\0';
}

HANDLE InheritableFile(const fs::path& path, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return ::CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace

RunResult RunProgram(const fs::path& program, const std::vector<std::wstring>& args, const fs::path& temp,
               const std::vector<std::pair<std::wstring, std::wstring>>& env, DWORD timeoutMs) {
    RunResult run;
    std::wstring commandLine = Quote(program.wstring());
    for (const auto& arg : args) commandLine += L" " + Quote(arg);

    const fs::path outPath = temp / "stdout.txt", errPath = temp / "stderr.txt", inPath = temp / "stdin.txt";
    WriteFile(inPath, "");
    HANDLE out = InheritableFile(outPath, true), err = InheritableFile(errPath, true), in = InheritableFile(inPath, false);
    auto overrides = env;
    overrides.push_back({L"TMP", temp.wstring()});
    overrides.push_back({L"TEMP", temp.wstring()});
    std::wstring environment = Environment(overrides);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                          CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, environment.data(),
                                          temp.c_str(), &startup, &process);
    ::CloseHandle(out);
    ::CloseHandle(err);
    ::CloseHandle(in);
    if (!started) {
        run.exitCode = static_cast<DWORD>(-1);
        run.err = "CreateProcess failed: " + std::to_string(::GetLastError());
        return run;
    }
    if (::WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_TIMEOUT) {
        run.timedOut = true;
        ::TerminateProcess(process.hProcess, 99);
        ::WaitForSingleObject(process.hProcess, 5000);
    }
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    run.out = ReadFile(outPath);
    run.err = ReadFile(errPath);
    return run;
}

const char kLogInSteps[] = R"(wait "Velluma Login"
set IDC_AUTH_SERVER "blog.example"
set IDC_AUTH_ENDPOINT "/xmlrpc.php"
set IDC_AUTH_LOGIN "ann"
set IDC_AUTH_PASSWORD "secret"
click IDOK
)";

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void WriteFile(const fs::path& path, const std::string& content) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

} // namespace simtest
