// Executes UI script steps against the windows of this process. The script
// runs on its own thread; the windows belong to the code under test's
// user-interface thread, which is usually inside a modal loop.
//
// Posted input and the moment it has been handled: after posting a click or
// keystroke we post a marker thread message and wait until a WH_GETMESSAGE
// hook on the user-interface thread sees it come out of the queue (any modal
// loop's GetMessage/PeekMessage runs the hook). Everything posted before the
// marker has then been taken out of the queue and dispatched, or a modal
// loop it opened is running. This keeps `expect` after `click`
// deterministic without sleeps.

#include "tools/uiscript/runner.h"

#include <commctrl.h>
#include <gdiplus.h>

#include <atomic>
#include <map>
#include <vector>

namespace uiscript {

namespace {

struct StepFailure {
    std::string message;
};

[[noreturn]] void Fail(std::string message) { throw StepFailure{std::move(message)}; }

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Quoted(const std::wstring& text) {
    std::string out(1, '"');  // built by appending: gcc 12 warns falsely on "literal" + temporary
    out += Utf8(text);
    out += '"';
    return out;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

bool BelongsTo(HWND window, DWORD processId) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process == processId;
}

// --- the hook on the user-interface thread ---------------------------------

const UINT kSyncMessage = ::RegisterWindowMessageW(L"uiscript.sync");       // lParam: event to set
const UINT kKeyStateMessage = ::RegisterWindowMessageW(L"uiscript.keystate");  // wParam: vk, lParam: down

std::atomic<HWND> charTarget{nullptr};
std::atomic<int> charsSeen{0};

LRESULT CALLBACK GetMessageHook(int code, WPARAM removal, LPARAM lParam) {
    if (code == HC_ACTION && removal == PM_REMOVE) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == kSyncMessage && msg->lParam) {
            ::SetEvent(reinterpret_cast<HANDLE>(msg->lParam));
        } else if (msg->message == kKeyStateMessage) {
            // Runs on the user-interface thread: GetKeyState there (and the
            // translation of the next keystroke) sees the key as held.
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

// --- message-box recognition -------------------------------------------------

struct BoxButtons {
    HWND ok = nullptr, cancel = nullptr, yes = nullptr, no = nullptr, retry = nullptr;
    std::string Names() const {
        if (yes && no) return cancel ? "yesnocancel" : "yesno";
        if (retry && cancel) return "retrycancel";
        if (ok && cancel) return "okcancel";
        if (ok) return "ok";
        return cancel ? "cancel" : "";
    }
};

// A message box: a dialog whose children are only statics and buttons, with
// the text in static 0xFFFF, the icon in 1088 and buttons with the standard
// command ids. Our own dialogs have other controls or ids.
bool ReadMessageBox(HWND window, BoxButtons& buttons) {
    if (ClassOf(window) != L"#32770") return false;
    bool hasText = false, foreign = false;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const int id = ::GetDlgCtrlID(child) & 0xFFFF;
        const std::wstring cls = ClassOf(child);
        if (id == 0xFFFF && cls == L"Static") { hasText = true; continue; }
        if (id == 1088 && cls == L"Static") continue;
        if (cls != L"Button" || id < IDOK || id > IDHELP) { foreign = true; break; }
        if (id == IDOK) buttons.ok = child;
        if (id == IDCANCEL) buttons.cancel = child;
        if (id == IDYES) buttons.yes = child;
        if (id == IDNO) buttons.no = child;
        if (id == IDRETRY) buttons.retry = child;
    }
    return hasText && !foreign && !buttons.Names().empty();
}

template <class Match>
HWND FindTopLevel(DWORD processId, Match match) {
    struct Search {
        DWORD processId;
        Match* match;
        HWND found = nullptr;
    } search{processId, &match};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (!BelongsTo(window, s->processId) || !::IsWindowVisible(window)) return TRUE;
            if ((*s->match)(window)) { s->found = window; return FALSE; }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring TextOf(HWND window) {
    int length = static_cast<int>(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    length = static_cast<int>(::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<size_t>(length < 0 ? 0 : length));
    return text;
}

CLSID PngEncoder() {
    UINT count = 0, bytes = 0;
    Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes);
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    CLSID clsid{};
    if (bytes && Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs) == Gdiplus::Ok)
        for (UINT i = 0; i < count; ++i)
            if (std::wstring(codecs[i].MimeType) == L"image/png") clsid = codecs[i].Clsid;
    return clsid;
}

void MakeFolders(const std::wstring& folder) {
    for (size_t i = 0; i <= folder.size(); ++i)
        if (i == folder.size() || ((folder[i] == L'\\' || folder[i] == L'/') && i > 2))
            ::CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
}

// --- the runner ---------------------------------------------------------------

class Runner {
public:
    explicit Runner(const Options& options)
        : options_(options),
          sync_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)),
          processId_(options.processId ? options.processId : ::GetCurrentProcessId()),
          foreign_(processId_ != ::GetCurrentProcessId()),
          process_(foreign_ ? ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId_) : nullptr) {}
    ~Runner() {
        for (auto& [thread, hook] : hooks_) ::UnhookWindowsHookEx(hook);
        ::CloseHandle(sync_);
        if (process_) ::CloseHandle(process_);
    }

    void Run(const Step& step) {
        switch (step.op) {
        case Op::Wait: Wait(step.text, false); break;
        case Op::WaitClass: Wait(step.text, true); break;
        case Op::Set: SetText(step); break;
        case Op::Click: Click(step.id); break;
        case Op::ClickChar: ClickChar(step.id, step.numbers[0]); break;
        case Op::Check: SetCheck(step.id, true); break;
        case Op::Uncheck: SetCheck(step.id, false); break;
        case Op::Select: Send(Control(step.id), EM_SETSEL, step.numbers[0], step.numbers[1]); break;
        case Op::Combo: Combo(step); break;
        case Op::Focus: Focus(step.id); break;
        case Op::Type: Type(step.text); break;
        case Op::Key: Key(step); break;
        case Op::Expect: Expect(step); break;
        case Op::Answer: AnswerBox(step.answer); break;
        case Op::Close:
            ::PostMessageW(Current(), WM_SYSCOMMAND, SC_CLOSE, 0);
            Settle();
            break;
        case Op::ClickWindow: ClickWindow(); break;
        case Op::Shot: Shot(step.text); break;
        case Op::Sleep: ::Sleep(static_cast<DWORD>(step.numbers[0])); break;
        }
    }

private:
    HWND Current() {
        if (!current_) Fail("no current window (start with wait \"CAPTION\")");
        if (!::IsWindow(current_)) Fail("the current window is gone");
        return current_;
    }

    // SendMessage that gives up when the user-interface thread does not answer.
    LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        DWORD_PTR result = 0;
        if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, options_.timeoutMs, &result))
            Fail("the window did not answer within " + std::to_string(options_.timeoutMs) + " ms");
        return static_cast<LRESULT>(result);
    }

    void Hook(DWORD thread) {
        // A hook in another process would need a DLL of its own: there,
        // steps settle by a short pause instead.
        if (foreign_ || hooks_.count(thread)) return;
        // Thread hooks inside our own process need no module handle.
        HHOOK hook = ::SetWindowsHookExW(WH_GETMESSAGE, GetMessageHook, nullptr, thread);
        if (hook) hooks_[thread] = hook;
    }

    void Adopt(HWND window) {
        current_ = window;
        uiThread_ = ::GetWindowThreadProcessId(window, nullptr);
        Hook(uiThread_);
    }

    // Waits until everything posted to the user-interface thread so far has
    // been taken from its queue. Bounded; a thread that stays busy longer is
    // reported by the steps that follow.
    void Settle() {
        if (foreign_) {
            // Until the other process waits for input again with nothing
            // queued, twice: what a step posted, then what its handling posted.
            for (int i = 0; i < 2 && process_; ++i) {
                ::WaitForInputIdle(process_, options_.timeoutMs);
                ::Sleep(50);
            }
            return;
        }
        if (!uiThread_ || !hooks_.count(uiThread_)) {
            ::Sleep(50);
            return;
        }
        ::ResetEvent(sync_);
        if (!::PostThreadMessageW(uiThread_, kSyncMessage, 0, reinterpret_cast<LPARAM>(sync_))) return;
        // Once the current window is gone its modal loop has ended, and the
        // thread may not read its queue again soon (a test's main thread
        // returns from the dialog into its own code): nothing left to wait for.
        const DWORD start = ::GetTickCount();
        while (::WaitForSingleObject(sync_, 20) == WAIT_TIMEOUT) {
            if (current_ && !::IsWindow(current_)) return;
            if (::GetTickCount() - start >= options_.timeoutMs) return;
        }
    }

    template <class Condition>
    bool Poll(Condition condition, DWORD limitMs) {
        const DWORD start = ::GetTickCount();
        for (;;) {
            if (condition()) return true;
            if (::GetTickCount() - start >= limitMs) return false;
            ::Sleep(20);
        }
    }

    void Wait(const std::string& wanted, bool byClass) {
        const std::wstring name = Wide(wanted);
        HWND found = nullptr;
        Poll([&] {
            found = FindTopLevel(processId_, [&](HWND w) {
                return byClass ? ClassOf(w) == name : TextOf(w) == name;
            });
            return found != nullptr;
        }, options_.timeoutMs);
        if (!found)
            Fail(std::string(foreign_ ? "no window of process " + std::to_string(processId_) + " " : "no window of this process ") + (byClass ? "of class " : "with caption ") + "\"" + wanted +
                 "\" appeared within " + std::to_string(options_.timeoutMs) + " ms" + VisibleWindows());
        Adopt(found);
    }

    // The captions of the process's visible top-level windows, for a failed wait.
    std::string VisibleWindows() {
        std::string list;
        FindTopLevel(processId_, [&](HWND w) {
            list += (list.empty() ? " (visible now: " : ", ") + Quoted(TextOf(w));
            return false;
        });
        return list.empty() ? " (none visible)" : list + ")";
    }

    // The toolbar among the current window's descendants that holds `command`.
    HWND ToolbarWith(int command) {
        struct Search { int command; HWND found; } search{command, nullptr};
        ::EnumChildWindows(Current(), [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (ClassOf(child) != TOOLBARCLASSNAMEW) return TRUE;
            DWORD_PTR index = static_cast<DWORD_PTR>(-1);
            if (::SendMessageTimeoutW(child, TB_COMMANDTOINDEX, s->command, 0, SMTO_NORMAL, 2000, &index) &&
                static_cast<int>(index) >= 0) {
                s->found = child;
                return FALSE;
            }
            return TRUE;
        }, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    HWND Control(int id) {
        HWND control = ::GetDlgItem(Current(), id);
        if (control) return control;
        struct Search { int id; HWND found; } search{id, nullptr};
        ::EnumChildWindows(current_, [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (::GetDlgCtrlID(child) != s->id) return TRUE;
            s->found = child;
            return FALSE;
        }, reinterpret_cast<LPARAM>(&search));
        if (!search.found) Fail("the current window has no control " + std::to_string(id));
        return search.found;
    }

    void RequireUsable(HWND control, int id) {
        if (!::IsWindowVisible(control)) Fail("control " + std::to_string(id) + " is hidden");
        if (!::IsWindowEnabled(control)) Fail("control " + std::to_string(id) + " is disabled");
    }

    void SetText(const Step& step) {
        HWND control = Control(step.id);
        const std::wstring text = Wide(step.text);
        if (!Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())))
            Fail("the control refused the text");
    }

    // A toolbar button is pressed as a click would: a check button changes
    // its state first (a group button only ever becomes checked), then the
    // toolbar's parent gets the WM_COMMAND a click sends.
    void ClickToolbar(HWND toolbar, int command) {
        if (!Send(toolbar, TB_ISBUTTONENABLED, command, 0)) Fail("toolbar button " + std::to_string(command) + " is disabled");
        if (Send(toolbar, TB_ISBUTTONHIDDEN, command, 0)) Fail("toolbar button " + std::to_string(command) + " is hidden");
        TBBUTTONINFOW info{};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_STYLE | TBIF_STATE;
        Send(toolbar, TB_GETBUTTONINFOW, command, reinterpret_cast<LPARAM>(&info));
        if (info.fsStyle & BTNS_CHECK) {
            const bool group = (info.fsStyle & BTNS_GROUP) != 0;
            const bool checked = (info.fsState & TBSTATE_CHECKED) != 0;
            Send(toolbar, TB_CHECKBUTTON, command, MAKELPARAM(group ? TRUE : !checked, 0));
        }
        ::PostMessageW(::GetParent(toolbar), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(toolbar));
        Settle();
    }

    void Click(int id) {
        if (HWND toolbar = ToolbarWith(id)) return ClickToolbar(toolbar, id);
        HWND control = Control(id);
        RequireUsable(control, id);
        // Posted: a click may open a modal loop, and SendMessage would wait for it.
        if (ClassOf(control) == L"Button") {
            ::PostMessageW(control, BM_CLICK, 0, 0);
        } else {
            RECT rc{};
            ::GetClientRect(control, &rc);
            const LPARAM at = MAKELPARAM((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
            ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
            ::PostMessageW(control, WM_LBUTTONUP, 0, at);
        }
        Settle();
    }

    // A left click in the middle of the current window itself, for windows
    // that are not controls of a dialog (a notice that answers a click
    // anywhere on it). Posted, like the other clicks.
    void ClickWindow() {
        HWND window = Current();
        RECT rc{};
        ::GetClientRect(window, &rc);
        const LPARAM at = MAKELPARAM((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
        ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(window, WM_LBUTTONUP, 0, at);
        Settle();
    }

    // A left click on one character of a rich edit, where a user's pointer
    // would be: just inside the top-left corner of the character's cell (the
    // control's links answer the button-down there). Posted, as its handler
    // may open a dialog.
    void ClickChar(int id, long position) {
        HWND control = Control(id);
        RequireUsable(control, id);
        const LRESULT length = Send(control, WM_GETTEXTLENGTH, 0, 0);
        if (position >= length)
            Fail("control " + std::to_string(id) + " holds " + std::to_string(length) + " characters, none at " +
                 std::to_string(position));
        POINTL point{-1, -1};
        Send(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), position);
        RECT client{};
        ::GetClientRect(control, &client);
        const POINT at{point.x + 2, point.y + 4};
        if (point.x < 0 || point.y < 0 || !::PtInRect(&client, at))
            Fail("character " + std::to_string(position) + " of control " + std::to_string(id) + " is not in view");
        const LPARAM where = MAKELPARAM(at.x, at.y);
        ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, where);
        ::PostMessageW(control, WM_LBUTTONUP, 0, where);
        Settle();
    }

    void SetCheck(int id, bool checked) {
        if (HWND toolbar = ToolbarWith(id)) {
            if ((Send(toolbar, TB_ISBUTTONCHECKED, id, 0) != 0) != checked) ClickToolbar(toolbar, id);
            return;
        }
        HWND control = Control(id);
        RequireUsable(control, id);
        auto state = [&] { return Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED; };
        if (state() == checked) return;  // a user would leave it as it is
        ::PostMessageW(control, BM_CLICK, 0, 0);
        Settle();
        if (!Poll([&] { return state() == checked; }, 1000))
            Fail(std::string("clicking control ") + std::to_string(id) + " did not " + (checked ? "check" : "uncheck") + " it");
    }

    void Combo(const Step& step) {
        HWND combo = Control(step.id);
        RequireUsable(combo, step.id);
        if (Send(combo, CB_SETCURSEL, step.numbers[0], 0) == CB_ERR)
            Fail("the combo box has no entry " + std::to_string(step.numbers[0]));
        // The notification a user's choice sends; posted, as its handler may open a dialog.
        ::PostMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(step.id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        Settle();
    }

    HWND FocusOfUiThread() {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        if (!uiThread_ || !::GetGUIThreadInfo(uiThread_, &info)) return nullptr;
        return info.hwndFocus;
    }

    void Focus(int id) {
        HWND control = Control(id);
        RequireUsable(control, id);
        if (ClassOf(current_) == L"#32770") {
            // The dialog moves the focus itself, on its own thread (and
            // updates its default button as a Tab would).
            Send(current_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
        } else {
            // SetFocus only works on a thread's own windows: borrow its input state.
            const DWORD self = ::GetCurrentThreadId();
            ::AttachThreadInput(self, uiThread_, TRUE);
            ::SetFocus(control);
            ::AttachThreadInput(self, uiThread_, FALSE);
        }
        if (!Poll([&] { return FocusOfUiThread() == control; }, 1000))
            Fail("control " + std::to_string(id) + " did not take the focus");
    }

    HWND FocusedControl() {
        Current();
        HWND focus = FocusOfUiThread();
        if (!focus) Fail("no control has the keyboard focus (use focus ID)");
        return focus;
    }

    void Type(const std::string& text) {
        HWND focus = FocusedControl();
        for (wchar_t c : Wide(text)) ::PostMessageW(focus, WM_CHAR, c, 1);
        Settle();
    }

    void PostKey(HWND target, UINT message, UINT vk) {
        const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
        LPARAM lParam = 1 | (static_cast<LPARAM>(scan) << 16);
        if (message == WM_KEYUP) lParam |= (1LL << 30) | (1LL << 31);
        ::PostMessageW(target, message, vk, lParam);
    }

    // Keys go through the user-interface thread's queue as a keystroke
    // would: the modal loop's IsDialogMessage sees Enter, Escape and Tab,
    // and TranslateMessage turns a keystroke into its WM_CHAR. For
    // Ctrl+LETTER the hook first marks Ctrl as held in that thread's
    // keyboard state (so GetKeyState(VK_CONTROL) in the control's handlers
    // and the translation see it), and releases it after the WM_CHAR was
    // handled. Should the translation give no character, we post the
    // control code (letter - 'A' + 1) ourselves, so exactly one arrives.
    void Key(const Step& step) {
        HWND focus = FocusedControl();
        if (step.key != KeyName::Ctrl) {
            const UINT vk = step.key == KeyName::Enter ? VK_RETURN : step.key == KeyName::Escape ? VK_ESCAPE : VK_TAB;
            PostKey(focus, WM_KEYDOWN, vk);
            Settle();
            Settle();  // and whatever the keystroke itself posted
            if (::IsWindow(focus)) PostKey(focus, WM_KEYUP, vk);
            Settle();
            return;
        }
        const UINT letter = static_cast<UINT>(step.letter);
        charTarget = focus;
        charsSeen = 0;
        ::PostThreadMessageW(uiThread_, kKeyStateMessage, VK_CONTROL, 1);
        PostKey(focus, WM_KEYDOWN, VK_CONTROL);
        PostKey(focus, WM_KEYDOWN, letter);
        Settle();  // the keystroke is handled; its WM_CHAR (if any) is queued now
        Settle();  // and handled
        if (charsSeen == 0 && ::IsWindow(focus)) {
            if (options_.log) options_.log("key Ctrl+" + std::string(1, step.letter) + ": no character from the translation; posting it");
            ::PostMessageW(focus, WM_CHAR, letter - 'A' + 1, 1);
            Settle();
        }
        charTarget = nullptr;
        if (::IsWindow(focus)) {
            PostKey(focus, WM_KEYUP, letter);
            PostKey(focus, WM_KEYUP, VK_CONTROL);
        }
        ::PostThreadMessageW(uiThread_, kKeyStateMessage, VK_CONTROL, 0);
        Settle();
    }

    std::wstring ControlText(HWND control) {
        const LONG style = ::GetWindowLongW(control, GWL_STYLE);
        if (ClassOf(control) == L"ComboBox" && (style & 0x3) == CBS_DROPDOWNLIST) {
            const LRESULT index = Send(control, CB_GETCURSEL, 0, 0);
            if (index == CB_ERR) return {};
            std::wstring text(static_cast<size_t>(Send(control, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
            text.resize(static_cast<size_t>(Send(control, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
            return text;
        }
        return TextOf(control);
    }

    // What the expectation finds now: empty when it holds, else the reason.
    std::string Check(const Step& step) {
        const std::string name = "control " + std::to_string(step.id);
        if (step.expect == Expectation::Caption) {
            const std::wstring caption = TextOf(Current());
            return caption == Wide(step.text) ? "" : "the caption is " + Quoted(caption);
        }
        if (HWND toolbar = ToolbarWith(step.id)) {
            const int id = step.id;
            auto ask = [&](UINT message) { return Send(toolbar, message, id, 0) != 0; };
            switch (step.expect) {
            case Expectation::Checked: return ask(TB_ISBUTTONCHECKED) ? "" : "the toolbar button is not checked";
            case Expectation::Unchecked: return !ask(TB_ISBUTTONCHECKED) ? "" : "the toolbar button is checked";
            case Expectation::Enabled: return ask(TB_ISBUTTONENABLED) ? "" : "the toolbar button is disabled";
            case Expectation::Disabled: return !ask(TB_ISBUTTONENABLED) ? "" : "the toolbar button is enabled";
            case Expectation::Hidden: return ask(TB_ISBUTTONHIDDEN) ? "" : "the toolbar button is visible";
            case Expectation::Visible: return !ask(TB_ISBUTTONHIDDEN) ? "" : "the toolbar button is hidden";
            default: Fail("a toolbar button has no text, focus or rectangle to expect");
            }
        }
        HWND control = Control(step.id);
        switch (step.expect) {
        case Expectation::Text: {
            const std::wstring text = ControlText(control);
            return text == Wide(step.text) ? "" : "the text is " + Quoted(text);
        }
        case Expectation::Checked:
            return Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "" : name + " is not checked";
        case Expectation::Unchecked:
            return Send(control, BM_GETCHECK, 0, 0) == BST_UNCHECKED ? "" : name + " is checked";
        case Expectation::Enabled: return ::IsWindowEnabled(control) ? "" : name + " is disabled";
        case Expectation::Disabled: return !::IsWindowEnabled(control) ? "" : name + " is enabled";
        case Expectation::Hidden: return !::IsWindowVisible(control) ? "" : name + " is visible";
        case Expectation::Visible: return ::IsWindowVisible(control) ? "" : name + " is hidden";
        case Expectation::Focused: return FocusOfUiThread() == control ? "" : name + " does not have the focus";
        case Expectation::Rect: {
            RECT rc{};
            ::GetWindowRect(control, &rc);
            ::MapWindowPoints(HWND_DESKTOP, current_, reinterpret_cast<POINT*>(&rc), 2);
            const long got[4] = {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
            bool same = true;
            for (int i = 0; i < 4; ++i) same = same && got[i] == step.numbers[i];
            return same ? "" : "the rectangle is " + std::to_string(got[0]) + " " + std::to_string(got[1]) + " " +
                                   std::to_string(got[2]) + " " + std::to_string(got[3]);
        }
        default: return "unknown expectation";
        }
    }

    // Expectations are checked again for a moment, for state that a window
    // updates on its own (timers, notifications it posts to itself). Another
    // process's windows change on that process's own time: a step there has
    // no marker to wait for, so its expectations wait as long as a window.
    void Expect(const Step& step) {
        std::string reason;
        if (!Poll([&] { reason = Check(step); return reason.empty(); }, foreign_ ? options_.timeoutMs : 1000)) Fail(reason);
    }

    void AnswerBox(Answer answer) {
        HWND box = nullptr;
        BoxButtons buttons;
        Poll([&] {
            box = FindTopLevel(processId_, [&](HWND w) {
                buttons = {};
                return ::IsWindowEnabled(w) && ReadMessageBox(w, buttons);
            });
            return box != nullptr;
        }, options_.timeoutMs);
        if (!box) Fail("no message box appeared within " + std::to_string(options_.timeoutMs) + " ms");
        // The box does not become the current window; its thread is the
        // one to settle when no window was waited for yet.
        const DWORD boxThread = ::GetWindowThreadProcessId(box, nullptr);
        Hook(boxThread);
        if (!uiThread_) uiThread_ = boxThread;

        MessageBoxSeen seen;
        seen.caption = Utf8(TextOf(box));
        seen.text = Utf8(TextOf(::GetDlgItem(box, 0xFFFF)));
        seen.buttons = buttons.Names();
        HWND button = nullptr;
        int command = 0;
        switch (answer) {
        case Answer::Yes: button = buttons.yes; command = IDYES; seen.answer = "yes"; break;
        case Answer::No: button = buttons.no; command = IDNO; seen.answer = "no"; break;
        case Answer::Retry: button = buttons.retry; command = IDRETRY; seen.answer = "retry"; break;
        case Answer::Cancel: button = buttons.cancel; command = IDCANCEL; seen.answer = "cancel"; break;
        default: button = buttons.ok; command = IDOK; seen.answer = "ok"; break;
        }
        if (options_.log) {
            HWND owner = ::GetWindow(box, GW_OWNER);
            options_.log("message box \"" + seen.caption + "\": \"" + seen.text + "\" [" + seen.buttons + "], owner " +
                         (owner ? Quoted(TextOf(owner)) : std::string("none")));
        }
        if (!button)
            Fail("the message box \"" + seen.text + "\" has no " + seen.answer + " button (it has " + seen.buttons + ")");
        if (options_.onMessageBox) options_.onMessageBox(seen);
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        if (!Poll([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, options_.timeoutMs))
            Fail("the message box did not close");
        Settle();
    }

    void Shot(const std::string& name) {
        if (foreign_) Settle();  // painted what the last step changed
        if (options_.screenshotFolder.empty()) {
            if (options_.log) options_.log("shot " + name + " skipped: no screenshot folder");
            return;
        }
        std::wstring file = options_.screenshotFolder;
        if (file.back() != L'\\' && file.back() != L'/') file += L'\\';
        MakeFolders(file);
        file += Wide(name);
        if (file.size() < 4 || _wcsicmp(file.c_str() + file.size() - 4, L".png") != 0) file += L".png";

        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) Fail("GDI+ did not start");
        HDC screen = ::GetDC(nullptr);
        const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
        HDC memory = ::CreateCompatibleDC(screen);
        HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
        ::SelectObject(memory, old);
        Gdiplus::GpBitmap* image = nullptr;
        Gdiplus::GpStatus status = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image);
        if (status == Gdiplus::Ok) {
            const CLSID png = PngEncoder();
            status = Gdiplus::DllExports::GdipSaveImageToFile(image, file.c_str(), &png, nullptr);
            Gdiplus::DllExports::GdipDisposeImage(image);
        }
        ::DeleteObject(bitmap);
        ::DeleteDC(memory);
        ::ReleaseDC(nullptr, screen);
        Gdiplus::GdiplusShutdown(token);
        if (status != Gdiplus::Ok) Fail("the screenshot could not be written to " + Utf8(file));
        if (options_.log) options_.log("shot " + Utf8(file));
    }

    const Options& options_;
    HANDLE sync_;
    const DWORD processId_;  // whose windows the script drives
    const bool foreign_;     // another process than this one
    HANDLE process_;         // that process, when foreign
    HWND current_ = nullptr;
    DWORD uiThread_ = 0;
    std::map<DWORD, HHOOK> hooks_;
};

} // namespace

Result RunScript(const std::string& scriptText, const Options& options) {
    Result result;
    const Script script = Parse(scriptText);
    if (!script.ok()) {
        result.ok = false;
        result.line = script.errors.front().line;
        result.message = "line " + std::to_string(result.line) + ": " + script.errors.front().message;
        return result;
    }
    Runner runner(options);
    for (const Step& step : script.steps) {
        if (options.log) options.log("line " + std::to_string(step.line) + ": " + Describe(step));
        try {
            runner.Run(step);
        } catch (const StepFailure& failure) {
            result.ok = false;
            result.line = step.line;
            result.message = "line " + std::to_string(step.line) + ": " + Describe(step) + ": " + failure.message;
            return result;
        }
    }
    return result;
}

ScriptThread::ScriptThread(std::string scriptText, Options options)
    : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this, text = std::move(scriptText), opts = std::move(options)] {
        result_ = RunScript(text, opts);
        ::SetEvent(done_);
    });
}

ScriptThread::~ScriptThread() {
    if (thread_.joinable()) thread_.join();
    ::CloseHandle(done_);
}

Result ScriptThread::Join() {
    if (thread_.joinable()) thread_.join();
    return result_;
}

} // namespace uiscript
