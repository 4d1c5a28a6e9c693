#pragma once
// Drives a modal dialog of the test's UI thread from a second thread, as a
// user would: find the window, type, click, answer message boxes. Every wait
// is bounded, and Finish() cancels whatever is still open so that a failing
// test never hangs.

#include "tools/uiscript/find.h"
#include "tools/uiscript/message_box.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace ui {

// Finding and reading go through the UI script runner's own (tools/uiscript/find.h).
using uiscript::ClassOf;
using uiscript::TextOf;

// A visible dialog-class window of `thread` whose caption is `caption`.
inline HWND FindDialog(DWORD thread, const std::wstring& caption) {
    return uiscript::FindThreadWindow(
        thread, [&](HWND window) { return ClassOf(window) == L"#32770" && TextOf(window) == caption; });
}

inline HWND WaitForDialog(DWORD thread, const std::wstring& caption, int timeoutMs = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (HWND window = FindDialog(thread, caption)) return window;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return nullptr;
}

inline bool WaitGone(HWND window, int timeoutMs = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
        if (!::IsWindow(window) || !::IsWindowVisible(window)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The text of a message box (its static text control has id 0xFFFF).
inline std::wstring MessageText(HWND box) { return uiscript::MessageBoxText(box); }

// Presses a button without waiting for what it opens.
inline void Click(HWND dialog, int id) {
    ::PostMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Answers a message box (IDOK, IDYES, IDNO).
inline void Answer(HWND box, int button) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
}

// Runs `body(window)` on the UI thread's modal dialog from a second thread
// while `runModal` runs on this thread. Whatever the body leaves open is
// cancelled, so the modal call always returns.
template <class Result>
Result Drive(const std::function<Result()>& runModal, const std::function<void(DWORD uiThread)>& body) {
    const DWORD uiThread = ::GetCurrentThreadId();
    std::thread driver([&] {
        body(uiThread);
        // Cancel leftovers, message boxes first, until the thread shows nothing.
        for (int round = 0; round < 50; ++round) {
            HWND open = nullptr;  // the last visible dialog of the thread
            uiscript::FindThreadWindow(uiThread, [&](HWND window) {
                if (ClassOf(window) == L"#32770") open = window;
                return false;
            });
            if (!open) break;
            ::PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    Result result = runModal();
    driver.join();
    return result;
}

} // namespace ui
