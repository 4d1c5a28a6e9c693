#include "framework/dialog.h"

#include "framework/callback_guard.h"
#include "framework/module.h"
#include "framework/wide.h"

namespace fw {

Dialog::Dialog(UINT templateId, HWND owner) : templateId_(templateId), owner_(owner) {}

INT_PTR Dialog::DoModal() {
    return ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), owner_, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

void Dialog::Bind(int id, Control& control) {
    bindings_.push_back({id, &control});
}

void Dialog::SetCaption(const core::String& caption) const {
    ::SetWindowTextW(hwnd_, W(caption));
}

core::String Dialog::ItemText(int id) const {
    Control control;
    control.Attach(Item(id));
    return control.Text();
}

void Dialog::SetItemText(int id, const core::String& text) const {
    ::SetDlgItemTextW(hwnd_, id, W(text));
}

RECT Dialog::ItemRect(int id) const {
    RECT rect{};
    ::GetWindowRect(Item(id), &rect);
    ::MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

INT_PTR CALLBACK Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        self->hwnd_ = window;
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        return self->InitDialog();
    }
    self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    // FALSE: not handled, so the system's dialog handling gives the result.
    INT_PTR handled = GuardCallback([&] { return self->Dispatch(message, wParam, lParam); }, [] { return INT_PTR{FALSE}; });
    if (message == WM_NCDESTROY) {
        for (const Binding& binding : self->bindings_) {
            // Subclassed controls unhook themselves as their windows go.
            if (binding.control->Hwnd() && !::IsWindow(binding.control->Hwnd())) binding.control->Attach(nullptr);
        }
        self->hwnd_ = nullptr;
    }
    return handled;
}

INT_PTR Dialog::InitDialog() {
    bool initialised = false;
    INT_PTR result = GuardCallback(
        [&]() -> INT_PTR {
            for (const Binding& binding : bindings_) binding.control->Attach(::GetDlgItem(hwnd_, binding.id));
            const bool systemFocus = OnInitDialog();
            initialised = true;
            return systemFocus ? TRUE : FALSE;
        },
        [] { return INT_PTR{TRUE}; });
    if (!initialised) ::EndDialog(hwnd_, IDCANCEL);
    return result;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    if (std::optional<LRESULT> result = Route(message, wParam, lParam)) {
        switch (message) {
        // These messages return their result directly, not through DWLP_MSGRESULT.
        case WM_QUERYDRAGICON:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
            return static_cast<INT_PTR>(*result);
        default:
            ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, *result);
            return TRUE;
        }
    }
    if (message == WM_COMMAND && (HIWORD(wParam) == BN_CLICKED || lParam == 0)) {
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        }
    }
    return FALSE;
}

} // namespace fw
