#pragma once
// A modal dialog bound to a template of the component's resources.
//
// A derived dialog lists what it handles in tables filled by its constructor:
//
//     LoginDialog::LoginDialog(HWND owner) : Dialog(IDD_BLOG_AUTH, owner) {
//         Bind(IDC_AUTH_LOGIN, loginBox_);
//         OnCommand(IDC_AUTH_REMEMBER, [this] { OnRememberToggled(); });
//         OnNotify(IDC_EDITOR_BODY, EN_LINK, [this](NMHDR& header) { return OnLink(header); });
//     }
//
// Messages go to the message table first, then WM_COMMAND to the command
// table and WM_NOTIFY to the notification table. What no table handles gets
// the defaults: IDOK calls OnOK(), IDCANCEL (also Escape and the close box)
// calls OnCancel(), and everything else the system's dialog handling.

#include "core/text.h"
#include "framework/controls.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

namespace fw {

class Dialog {
public:
    Dialog(UINT templateId, HWND owner);
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally from the resource module; returns the value
    // given to EndDialog (IDOK, IDCANCEL), or -1 when the dialog could not be made.
    INT_PTR DoModal();

    HWND Hwnd() const { return hwnd_; }
    HWND Owner() const { return owner_; }
    UINT TemplateId() const { return templateId_; }

protected:
    using CommandHandler = std::function<void()>;
    // Returns the notification's result, or nothing to leave it unhandled.
    using NotifyHandler = std::function<std::optional<LRESULT>(NMHDR&)>;
    // Returns the message's result when it handled the message.
    using MessageHandler = std::function<std::optional<LRESULT>(WPARAM, LPARAM)>;

    // Any notification code of the control or command `id`.
    void OnCommand(int id, CommandHandler handler);
    // Only notification `code` (for example CBN_SELCHANGE) from control `id`.
    void OnCommandCode(int id, WORD code, CommandHandler handler);
    void OnNotify(int id, UINT code, NotifyHandler handler);
    // Notification `code` from any id in [firstId, lastId] (tool tips).
    void OnNotifyRange(UINT code, UINT_PTR firstId, UINT_PTR lastId, NotifyHandler handler);
    void OnMessage(UINT message, MessageHandler handler);
    // Attaches `control` to the dialog's control `id` before OnInitDialog runs.
    void Bind(int id, Control& control);

    // Called once the controls exist and are bound. Return true to let the
    // system put the focus on the first tab stop, false when focus was set.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }
    void SetCaption(const core::String& caption) const;

    HWND Item(int id) const { return ::GetDlgItem(hwnd_, id); }
    core::String ItemText(int id) const;
    void SetItemText(int id, const core::String& text) const;
    bool IsItemChecked(int id) const { return ::IsDlgButtonChecked(hwnd_, id) == BST_CHECKED; }
    void CheckItem(int id, bool checked) const { ::CheckDlgButton(hwnd_, id, checked ? BST_CHECKED : BST_UNCHECKED); }
    void EnableItem(int id, bool enabled) const { ::EnableWindow(Item(id), enabled ? TRUE : FALSE); }
    void ShowItem(int id, bool visible) const { ::ShowWindow(Item(id), visible ? SW_SHOW : SW_HIDE); }
    void FocusItem(int id) const { ::SetFocus(Item(id)); }
    // The control's window rectangle in the dialog's client coordinates.
    RECT ItemRect(int id) const;

private:
    struct CommandRoute { int id; std::optional<WORD> code; CommandHandler handler; };
    struct NotifyRoute { UINT code; UINT_PTR firstId; UINT_PTR lastId; NotifyHandler handler; };
    struct MessageRoute { UINT message; MessageHandler handler; };
    struct Binding { int id; Control* control; };

    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Result(LRESULT result);

    UINT templateId_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    std::vector<CommandRoute> commands_;
    std::vector<NotifyRoute> notifications_;
    std::vector<MessageRoute> messages_;
    std::vector<Binding> bindings_;
};

} // namespace fw
