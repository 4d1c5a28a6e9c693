#include "tools/uiscript/message_box.h"

#include "tools/uiscript/find.h"
#include "tools/uiscript/step_failure.h"

namespace uiscript {

std::string BoxButtons::Names() const {
    if (yes && no) return cancel ? "yesnocancel" : "yesno";
    if (retry && cancel) return "retrycancel";
    if (ok && cancel) return "okcancel";
    if (ok) return "ok";
    return cancel ? "cancel" : "";
}

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

std::wstring MessageBoxText(HWND box) { return TextOf(::GetDlgItem(box, 0xFFFF)); }

void AnswerMessageBox(UiThread& ui, const Options& options, Answer answer) {
    HWND box = nullptr;
    BoxButtons buttons;
    Poll([&] {
        box = FindTopLevel(ui.ProcessId(), [&](HWND w) {
            buttons = {};
            return ::IsWindowEnabled(w) && ReadMessageBox(w, buttons);
        });
        return box != nullptr;
    }, options.timeoutMs);
    if (!box) Fail("no message box appeared within " + std::to_string(options.timeoutMs) + " ms");
    // The box does not become the current window; its thread is the one to
    // settle when no window was waited for yet.
    ui.Meet(::GetWindowThreadProcessId(box, nullptr));

    MessageBoxSeen seen;
    seen.caption = Utf8(TextOf(box));
    seen.text = Utf8(MessageBoxText(box));
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
    if (options.log) {
        HWND owner = ::GetWindow(box, GW_OWNER);
        options.log("message box \"" + seen.caption + "\": \"" + seen.text + "\" [" + seen.buttons + "], owner " +
                    (owner ? Quoted(TextOf(owner)) : std::string("none")));
    }
    if (!button) Fail("the message box \"" + seen.text + "\" has no " + seen.answer + " button (it has " + seen.buttons + ")");
    if (options.onMessageBox) options.onMessageBox(seen);
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    if (!Poll([&] { return !::IsWindow(box) || !::IsWindowVisible(box); }, options.timeoutMs))
        Fail("the message box did not close");
    ui.Settle();
}

} // namespace uiscript
