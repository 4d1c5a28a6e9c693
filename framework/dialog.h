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
// The tables and their one rule for passing a message on are MessageRoutes'.
// What no table takes gets the dialog's defaults: IDOK calls OnOK(), IDCANCEL
// (also Escape and the close box) calls OnCancel(), and everything else the
// system's dialog handling.
//
// No exception leaves the dialog procedure: what a handler throws ends that
// message with a message box and the default handling (GuardCallback), and
// the dialog goes on. A dialog whose OnInitDialog throws is ended at once
// with IDCANCEL, since its other handlers rely on a finished initialisation.

#include "core/text.h"
#include "framework/controls.h"
#include "framework/message_routes.h"

#include <windows.h>

#include <vector>

namespace fw {

class Dialog : protected MessageRoutes {
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
    struct Binding { int id; Control* control; };

    static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR InitDialog();
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_;
    HWND owner_;
    HWND hwnd_ = nullptr;
    std::vector<Binding> bindings_;
};

} // namespace fw
