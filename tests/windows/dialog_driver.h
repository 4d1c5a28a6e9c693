#pragma once
// Drives a modal dialog of the test's UI thread from a second thread, the way
// a user would: the test starts a driver, then runs the dialog modally; the
// driver waits (bounded) for the dialog, runs its script with SendMessage, and
// cancels the dialog if the script left it open, so no test can hang on it.

#include "tools/uiscript/find.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testui {

// Finding and reading go through the UI script runner's own (tools/uiscript/find.h).
using uiscript::FocusOf;  // the window that has the keyboard focus on a thread
using uiscript::TextOf;

// A visible top-level window of `thread` with exactly this caption, or null.
inline HWND FindThreadWindow(DWORD thread, const std::wstring& caption) {
    return uiscript::FindThreadWindow(thread, [&](HWND window) { return TextOf(window) == caption; });
}

inline HWND WaitForThreadWindow(DWORD thread, const std::wstring& caption, DWORD timeoutMs) {
    for (DWORD waited = 0; waited <= timeoutMs; waited += 10) {
        if (HWND window = FindThreadWindow(thread, caption)) return window;
        ::Sleep(10);
    }
    return nullptr;
}

inline void SetTextOf(HWND window, const std::wstring& text) {
    ::SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

class DialogDriver {
public:
    using Script = std::function<void(HWND dialog)>;

    // Starts waiting on another thread for the dialog `caption` of the
    // calling (UI) thread; `script` runs once it is shown.
    DialogDriver(std::wstring caption, Script script, DWORD timeoutMs = 5000)
        : uiThread_(::GetCurrentThreadId()),
          worker_([this, caption = std::move(caption), script = std::move(script), timeoutMs] {
              HWND dialog = WaitForThreadWindow(uiThread_, caption, timeoutMs);
              if (!dialog) return;
              found_ = true;
              script(dialog);
              // Whatever the script did, the modal loop must end.
              if (::IsWindow(dialog)) ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
          }) {}
    ~DialogDriver() { Join(); }
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    void Join() { if (worker_.joinable()) worker_.join(); }
    // Whether the dialog appeared at all (valid after Join).
    bool Found() const { return found_; }
    DWORD UiThread() const { return uiThread_; }

private:
    DWORD uiThread_;
    std::atomic<bool> found_{false};
    std::thread worker_;
};

} // namespace testui

#include "tools/uiscript/runner.h"

namespace testui {

// Runs a UI script against a modal dialog that the calling thread is about
// to run, and makes sure that dialog ends even when a step fails (the script
// stops at the failed step and would leave it open).
class ScriptedDialog {
public:
    ScriptedDialog(std::wstring caption, std::string script, DWORD timeoutMs = 5000)
        : uiThread_(::GetCurrentThreadId()),
          worker_([this, caption = std::move(caption), script = std::move(script), timeoutMs] {
              // Found while the dialog's modal loop answers; afterwards only
              // IsWindow, which sends nothing to a thread that may be waiting here.
              HWND dialog = WaitForThreadWindow(uiThread_, caption, timeoutMs);
              uiscript::Options options;
              options.timeoutMs = timeoutMs;
              result_ = uiscript::RunScript(script, options);
              for (int tries = 0; dialog && ::IsWindow(dialog) && tries < 100; ++tries) {
                  ::PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                  ::Sleep(20);
              }
              finished_ = true;
          }) {}
    ~ScriptedDialog() { if (worker_.joinable()) worker_.join(); }
    ScriptedDialog(const ScriptedDialog&) = delete;
    ScriptedDialog& operator=(const ScriptedDialog&) = delete;

    bool Finished() const { return finished_; }
    uiscript::Result Join() {
        if (worker_.joinable()) worker_.join();
        return result_;
    }

private:
    DWORD uiThread_;
    std::atomic<bool> finished_{false};
    uiscript::Result result_;
    std::thread worker_;
};

// Lets the calling thread answer its windows' messages until `done` (the
// script thread's searches send to every window of the process).
template <class Done>
void PumpUntil(Done done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!done() && ::GetTickCount() - start < timeoutMs) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

} // namespace testui
