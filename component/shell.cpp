#include "component/shell.h"

#include "framework/wide.h"

#include <shellapi.h>

void ShellOpen(const core::String& address) {
    ::ShellExecuteW(nullptr, L"open", fw::W(address), nullptr, nullptr, SW_SHOW);
}

bool ForceForegroundWindow(HWND window) {
    ::BringWindowToTop(window);
    if (::SetForegroundWindow(window) && ::GetForegroundWindow() == window) return true;

    HWND foreground = ::GetForegroundWindow();
    for (int tries = 0; !foreground && tries < 10; ++tries) {
        ::Sleep(10);
        foreground = ::GetForegroundWindow();
    }
    DWORD foregroundThread = foreground ? ::GetWindowThreadProcessId(foreground, nullptr) : 0;
    DWORD currentThread = ::GetCurrentThreadId();
    if (foreground && foregroundThread && currentThread && foregroundThread != currentThread &&
        ::AttachThreadInput(foregroundThread, currentThread, TRUE)) {
        ::SetForegroundWindow(window);
        ::AttachThreadInput(foregroundThread, currentThread, FALSE);
    }
    ::SetForegroundWindow(window);
    return ::GetForegroundWindow() == window;
}
