// urlrec.exe: the prefix's http/https "open" command during tests, so that
// opening an address starts no browser and leaves a line a test can read.
// Appends its arguments (the address), joined by blanks, as one UTF-8 line
// to the file named by URLREC_LOG, or to urlrec.log beside the program.

#include "tools/common/json_text.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** args = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    std::wstring line;
    for (int i = 1; args && i < count; ++i) {
        if (i > 1) line += L' ';
        line += args[i];
    }
    if (args) ::LocalFree(args);

    wchar_t logPath[MAX_PATH * 2] = {};
    DWORD n = ::GetEnvironmentVariableW(L"URLREC_LOG", logPath, MAX_PATH * 2);
    const std::wstring log = (n > 0 && n < MAX_PATH * 2) ? std::wstring(logPath, n)
                                                         : tools::ModuleFolder(nullptr) + L"urlrec.log";
    return tools::AppendLine(log, tools::Utf8(line)) ? 0 : 1;
}
