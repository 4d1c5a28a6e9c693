#include "tools/uiscript/ui_thread.h"

#include "tools/uiscript/find.h"
#include "tools/uiscript/step_failure.h"

#include <atomic>
#include <string>

namespace uiscript {

namespace {

const UINT kSyncMessage = ::RegisterWindowMessageW(L"uiscript.sync");       // lParam: event to set
const UINT kKeyStateMessage = ::RegisterWindowMessageW(L"uiscript.keystate");  // wParam: vk, lParam: down

std::atomic<HWND> charTarget{nullptr};
std::atomic<int> charsSeen{0};

// Runs on the user-interface thread, for every message taken from its queue.
LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM lParam) {
    if (code == HC_ACTION && removal == PM_REMOVE) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == kSyncMessage && msg->lParam) {
            ::SetEvent(reinterpret_cast<HANDLE>(msg->lParam));
        } else if (msg->message == kKeyStateMessage) {
            // GetKeyState on this thread (and the translation of the next
            // keystroke) sees the key as held.
            BYTE state[256] = {};
            ::GetKeyboardState(state);
            const BYTE held = msg->lParam ? 0x80 : 0x00;
            state[msg->wParam & 0xFF] = held;
            if (msg->wParam == VK_CONTROL) state[VK_LCONTROL] = held;
            ::SetKeyboardState(state);
        } else if (msg->message == WM_CHAR && msg->hwnd == charTarget.load()) {
            ++charsSeen;
        }
    }
    return ::CallNextHookEx(nullptr, code, removal, lParam);
}

} // namespace

UiThread::UiThread(DWORD timeoutMs, DWORD processId)
    : timeoutMs_(timeoutMs),
      processId_(processId ? processId : ::GetCurrentProcessId()),
      foreign_(processId_ != ::GetCurrentProcessId()),
      process_(foreign_ ? ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId_) : nullptr),
      sync_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

UiThread::~UiThread() {
    for (auto& [thread, hook] : hooks_) ::UnhookWindowsHookEx(hook);
    ::CloseHandle(sync_);
    if (process_) ::CloseHandle(process_);
}

void UiThread::Hook(DWORD thread) {
    // A hook in another process would need a DLL of its own: there, steps
    // settle by waiting for that process instead.
    if (foreign_ || hooks_.count(thread)) return;
    // Thread hooks inside our own process need no module handle.
    HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, thread);
    if (hook) hooks_[thread] = hook;
}

void UiThread::Adopt(HWND window) {
    current_ = window;
    thread_ = ::GetWindowThreadProcessId(window, nullptr);
    Hook(thread_);
}

void UiThread::Meet(DWORD thread) {
    Hook(thread);
    if (!thread_) thread_ = thread;
}

HWND UiThread::Current() {
    if (!current_) Fail("no current window (start with wait \"CAPTION\")");
    if (!::IsWindow(current_)) Fail("the current window is gone");
    return current_;
}

HWND UiThread::Control(int id) {
    HWND control = FindControl(Current(), id);
    if (!control) Fail("the current window has no control " + std::to_string(id));
    return control;
}

HWND UiThread::ToolbarWith(int command) { return FindToolbarWith(Current(), command); }

HWND UiThread::Focus() const { return FocusOf(thread_); }

LRESULT UiThread::Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs_, &result))
        Fail("the window did not answer within " + std::to_string(timeoutMs_) + " ms");
    return static_cast<LRESULT>(result);
}

void UiThread::Settle() {
    if (foreign_) {
        // Until the other process waits for input again with nothing
        // queued, twice: what a step posted, then what its handling posted.
        for (int i = 0; i < 2 && process_; ++i) {
            ::WaitForInputIdle(process_, timeoutMs_);
            ::Sleep(50);
        }
        return;
    }
    if (!thread_ || !hooks_.count(thread_)) {
        ::Sleep(50);
        return;
    }
    ::ResetEvent(sync_);
    if (!::PostThreadMessageW(thread_, kSyncMessage, 0, reinterpret_cast<LPARAM>(sync_))) return;
    // Once the current window is gone its modal loop has ended, and the
    // thread may not read its queue again soon (a test's main thread
    // returns from the dialog into its own code): nothing left to wait for.
    const DWORD start = ::GetTickCount();
    while (::WaitForSingleObject(sync_, 20) == WAIT_TIMEOUT) {
        if (current_ && !::IsWindow(current_)) return;
        if (::GetTickCount() - start >= timeoutMs_) return;
    }
}

void UiThread::HoldKey(UINT vk, bool down) { ::PostThreadMessageW(thread_, kKeyStateMessage, vk, down ? 1 : 0); }

void UiThread::CountCharsOf(HWND target) {
    charTarget = target;
    if (target) charsSeen = 0;
}

int UiThread::CharsCounted() const { return charsSeen; }

} // namespace uiscript
