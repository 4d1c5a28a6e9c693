#include "tools/uiscript/input.h"

#include "tools/uiscript/find.h"
#include "tools/uiscript/step_failure.h"

#include <commctrl.h>

namespace uiscript {

namespace {

void PostKey(HWND target, UINT message, UINT vk) {
    const UINT scan = ::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    LPARAM lParam = 1 | (static_cast<LPARAM>(scan) << 16);
    if (message == WM_KEYUP) lParam |= (1LL << 30) | (1LL << 31);
    ::PostMessageW(target, message, vk, lParam);
}

} // namespace

void Input::RequireUsable(HWND control, int id) {
    if (!::IsWindowVisible(control)) Fail("control " + std::to_string(id) + " is hidden");
    if (!::IsWindowEnabled(control)) Fail("control " + std::to_string(id) + " is disabled");
}

void Input::SetText(int id, const std::string& utf8) {
    HWND control = ui_.Control(id);
    const std::wstring text = Wide(utf8);
    if (!ui_.Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()))) Fail("the control refused the text");
}

// A toolbar button is pressed as a click would: a check button changes its
// state first (a group button only ever becomes checked), then the
// toolbar's parent gets the WM_COMMAND a click sends.
void Input::ClickToolbar(HWND toolbar, int command) {
    if (!ui_.Send(toolbar, TB_ISBUTTONENABLED, command, 0)) Fail("toolbar button " + std::to_string(command) + " is disabled");
    if (ui_.Send(toolbar, TB_ISBUTTONHIDDEN, command, 0)) Fail("toolbar button " + std::to_string(command) + " is hidden");
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_STYLE | TBIF_STATE;
    ui_.Send(toolbar, TB_GETBUTTONINFOW, command, reinterpret_cast<LPARAM>(&info));
    if (info.fsStyle & BTNS_CHECK) {
        const bool group = (info.fsStyle & BTNS_GROUP) != 0;
        const bool checked = (info.fsState & TBSTATE_CHECKED) != 0;
        ui_.Send(toolbar, TB_CHECKBUTTON, command, MAKELPARAM(group ? TRUE : !checked, 0));
    }
    ::PostMessageW(::GetParent(toolbar), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(toolbar));
    ui_.Settle();
}

void Input::Click(int id) {
    if (HWND toolbar = ui_.ToolbarWith(id)) return ClickToolbar(toolbar, id);
    HWND control = ui_.Control(id);
    RequireUsable(control, id);
    if (ClassOf(control) == L"Button") {
        ::PostMessageW(control, BM_CLICK, 0, 0);
    } else {
        RECT rc{};
        ::GetClientRect(control, &rc);
        const LPARAM at = MAKELPARAM((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
        ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
        ::PostMessageW(control, WM_LBUTTONUP, 0, at);
    }
    ui_.Settle();
}

// Where a user's pointer would be: just inside the top-left corner of the
// character's cell (the control's links answer the button-down there).
void Input::ClickChar(int id, long position) {
    HWND control = ui_.Control(id);
    RequireUsable(control, id);
    const LRESULT length = ui_.Send(control, WM_GETTEXTLENGTH, 0, 0);
    if (position >= length)
        Fail("control " + std::to_string(id) + " holds " + std::to_string(length) + " characters, none at " +
             std::to_string(position));
    POINTL point{-1, -1};
    ui_.Send(control, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), position);
    RECT client{};
    ::GetClientRect(control, &client);
    const POINT at{point.x + 2, point.y + 4};
    if (point.x < 0 || point.y < 0 || !::PtInRect(&client, at))
        Fail("character " + std::to_string(position) + " of control " + std::to_string(id) + " is not in view");
    const LPARAM where = MAKELPARAM(at.x, at.y);
    ::PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, where);
    ::PostMessageW(control, WM_LBUTTONUP, 0, where);
    ui_.Settle();
}

void Input::SetCheck(int id, bool checked) {
    if (HWND toolbar = ui_.ToolbarWith(id)) {
        if ((ui_.Send(toolbar, TB_ISBUTTONCHECKED, id, 0) != 0) != checked) ClickToolbar(toolbar, id);
        return;
    }
    HWND control = ui_.Control(id);
    RequireUsable(control, id);
    auto state = [&] { return ui_.Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED; };
    if (state() == checked) return;  // a user would leave it as it is
    ::PostMessageW(control, BM_CLICK, 0, 0);
    ui_.Settle();
    if (!Poll([&] { return state() == checked; }, 1000))
        Fail(std::string("clicking control ") + std::to_string(id) + " did not " + (checked ? "check" : "uncheck") + " it");
}

void Input::Select(int id, long start, long end) { ui_.Send(ui_.Control(id), EM_SETSEL, start, end); }

void Input::Combo(int id, long index) {
    HWND combo = ui_.Control(id);
    RequireUsable(combo, id);
    if (ui_.Send(combo, CB_SETCURSEL, index, 0) == CB_ERR) Fail("the combo box has no entry " + std::to_string(index));
    // The notification a user's choice sends; posted, as its handler may open a dialog.
    ::PostMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    ui_.Settle();
}

void Input::Focus(int id) {
    HWND control = ui_.Control(id);
    RequireUsable(control, id);
    HWND window = ui_.Current();
    if (ClassOf(window) == L"#32770") {
        // The dialog moves the focus itself, on its own thread (and updates
        // its default button as a Tab would).
        ui_.Send(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    } else {
        // SetFocus only works on a thread's own windows: borrow its input state.
        const DWORD self = ::GetCurrentThreadId();
        ::AttachThreadInput(self, ui_.Thread(), TRUE);
        ::SetFocus(control);
        ::AttachThreadInput(self, ui_.Thread(), FALSE);
    }
    if (!Poll([&] { return ui_.Focus() == control; }, 1000)) Fail("control " + std::to_string(id) + " did not take the focus");
}

HWND Input::FocusedControl() {
    ui_.Current();
    HWND focus = ui_.Focus();
    if (!focus) Fail("no control has the keyboard focus (use focus ID)");
    return focus;
}

void Input::Type(const std::string& text) {
    HWND focus = FocusedControl();
    for (wchar_t c : Wide(text)) ::PostMessageW(focus, WM_CHAR, c, 1);
    ui_.Settle();
}

// Keys go through the user-interface thread's queue as a keystroke would:
// the modal loop's IsDialogMessage sees Enter, Escape and Tab, and
// TranslateMessage turns a keystroke into its WM_CHAR. For Ctrl+LETTER the
// hook first marks Ctrl as held in that thread's keyboard state (so
// GetKeyState(VK_CONTROL) in the control's handlers and the translation see
// it), and releases it after the WM_CHAR was handled. Should the translation
// give no character, we post the control code (letter - 'A' + 1) ourselves,
// so exactly one arrives.
void Input::Key(KeyName key, char letterName) {
    HWND focus = FocusedControl();
    if (key != KeyName::Ctrl) {
        const UINT vk = key == KeyName::Enter ? VK_RETURN : key == KeyName::Escape ? VK_ESCAPE : VK_TAB;
        PostKey(focus, WM_KEYDOWN, vk);
        ui_.Settle();
        ui_.Settle();  // and whatever the keystroke itself posted
        if (::IsWindow(focus)) PostKey(focus, WM_KEYUP, vk);
        ui_.Settle();
        return;
    }
    const UINT letter = static_cast<UINT>(letterName);
    ui_.CountCharsOf(focus);
    ui_.HoldKey(VK_CONTROL, true);
    PostKey(focus, WM_KEYDOWN, VK_CONTROL);
    PostKey(focus, WM_KEYDOWN, letter);
    ui_.Settle();  // the keystroke is handled; its WM_CHAR (if any) is queued now
    ui_.Settle();  // and handled
    if (ui_.CharsCounted() == 0 && ::IsWindow(focus)) {
        if (log_) log_("key Ctrl+" + std::string(1, letterName) + ": no character from the translation; posting it");
        ::PostMessageW(focus, WM_CHAR, letter - 'A' + 1, 1);
        ui_.Settle();
    }
    ui_.CountCharsOf(nullptr);
    if (::IsWindow(focus)) {
        PostKey(focus, WM_KEYUP, letter);
        PostKey(focus, WM_KEYUP, VK_CONTROL);
    }
    ui_.HoldKey(VK_CONTROL, false);
    ui_.Settle();
}

void Input::Close() {
    ::PostMessageW(ui_.Current(), WM_SYSCOMMAND, SC_CLOSE, 0);
    ui_.Settle();
}

// For a window that is no control of a dialog: the completion notice opens
// its link on a click anywhere on it.
void Input::ClickWindow() {
    HWND window = ui_.Current();
    RECT rc{};
    ::GetClientRect(window, &rc);
    const LPARAM at = MAKELPARAM((rc.right - rc.left) / 2, (rc.bottom - rc.top) / 2);
    ::PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(window, WM_LBUTTONUP, 0, at);
    ui_.Settle();
}

} // namespace uiscript
