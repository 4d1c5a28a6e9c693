// desktop-keeper.exe: holds one hidden window for as long as it runs, so
// Wine's desktop process (explorer.exe /desktop) stays up for a whole test
// run. Without it the first test program that opens a window starts the
// desktop process, which inherits that program's output pipe from ctest and
// keeps it open: ctest then waits for the pipe and times the test out
// although it passed. The test scripts start this program with its output on
// /dev/null, before ctest, and stop it with the wineserver.

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    HWND window = ::CreateWindowExW(0, L"STATIC", L"desktop-keeper", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    nullptr, nullptr);
    if (!window) return 1;
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 0;
}
