#pragma once
// The script's hold on the user-interface thread it drives: the current
// window, SendMessage that gives up, and knowing when posted input has been
// handled.
//
// Posted input and the moment it has been handled: after posting a click or
// keystroke we post a marker thread message and wait until a WH_GETMESSAGE
// hook on the user-interface thread sees it come out of the queue (any modal
// loop's GetMessage/PeekMessage runs the hook). Everything posted before the
// marker has then been taken out of the queue and dispatched, or a modal
// loop it opened is running. This keeps `expect` after `click`
// deterministic without sleeps.

#include <windows.h>

#include <map>

namespace uiscript {

class UiThread {
public:
    // processId 0: this process. Another process (an installer a test
    // started) is driven the same way, except that steps there settle when
    // that process waits for input again (WaitForInputIdle): no hook can
    // mark when it has handled a step.
    UiThread(DWORD timeoutMs, DWORD processId);
    ~UiThread();
    UiThread(const UiThread&) = delete;
    UiThread& operator=(const UiThread&) = delete;

    DWORD TimeoutMs() const { return timeoutMs_; }
    DWORD ProcessId() const { return processId_; }  // whose windows the script drives
    bool Foreign() const { return foreign_; }       // another process than this one

    // The window found last becomes the current one; its thread is hooked.
    void Adopt(HWND window);
    // Hooks a thread that shows a window without it becoming the current
    // one (a message box); it is the thread to settle while none was adopted.
    void Meet(DWORD thread);
    HWND Current();  // fails when there is none, or it is gone
    DWORD Thread() const { return thread_; }

    // The control `id` of the current window; fails when there is none.
    HWND Control(int id);
    // The toolbar of the current window that holds `command`, or null.
    HWND ToolbarWith(int command);
    // The focus of the user-interface thread, or null.
    HWND Focus() const;

    // SendMessage that fails when the window does not answer in time.
    LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Waits until everything posted to the user-interface thread so far has
    // been taken from its queue. Bounded; a thread that stays busy longer is
    // reported by the steps that follow.
    void Settle();

    // Holds or releases a key in the user-interface thread's own keyboard
    // state, when its queue gets there (GetKeyState there sees it).
    void HoldKey(UINT vk, bool down);
    // Counts the WM_CHAR messages the hook sees for `target` (null: stop).
    void CountCharsOf(HWND target);
    int CharsCounted() const;

private:
    void Hook(DWORD thread);

    DWORD timeoutMs_;
    const DWORD processId_;
    const bool foreign_;
    HANDLE process_;  // that process, when foreign
    HANDLE sync_;
    HWND current_ = nullptr;
    DWORD thread_ = 0;
    std::map<DWORD, HHOOK> hooks_;
};

// Asks `condition` every 20 ms until it holds or `limitMs` passed.
template <class Condition>
bool Poll(Condition condition, DWORD limitMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount() - start >= limitMs) return false;
        ::Sleep(20);
    }
}

} // namespace uiscript
