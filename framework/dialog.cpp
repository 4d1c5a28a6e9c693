#include "framework/dialog.h"

#include "framework/module.h"
#include "framework/wide.h"

namespace fw {

Dialog::Dialog(UINT templateId, HWND owner) : templateId_(templateId), owner_(owner) {}

INT_PTR Dialog::DoModal() {
    return ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), owner_, DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

void Dialog::OnCommand(int id, CommandHandler handler) {
    commands_.push_back({id, std::nullopt, std::move(handler)});
}

void Dialog::OnCommandCode(int id, WORD code, CommandHandler handler) {
    commands_.push_back({id, code, std::move(handler)});
}

void Dialog::OnNotify(int id, UINT code, NotifyHandler handler) {
    notifications_.push_back({code, static_cast<UINT_PTR>(id), static_cast<UINT_PTR>(id), std::move(handler)});
}

void Dialog::OnNotifyRange(UINT code, UINT_PTR firstId, UINT_PTR lastId, NotifyHandler handler) {
    notifications_.push_back({code, firstId, lastId, std::move(handler)});
}

void Dialog::OnMessage(UINT message, MessageHandler handler) {
    messages_.push_back({message, std::move(handler)});
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
        for (const Binding& binding : self->bindings_) binding.control->Attach(::GetDlgItem(window, binding.id));
        return self->OnInitDialog() ? TRUE : FALSE;
    }
    self = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!self) return FALSE;
    INT_PTR handled = self->Dispatch(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        for (const Binding& binding : self->bindings_) {
            // Subclassed controls unhook themselves as their windows go.
            if (binding.control->Hwnd() && !::IsWindow(binding.control->Hwnd())) binding.control->Attach(nullptr);
        }
        self->hwnd_ = nullptr;
    }
    return handled;
}

INT_PTR Dialog::Result(LRESULT result) {
    ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    for (const MessageRoute& route : messages_) {
        if (route.message != message) continue;
        if (std::optional<LRESULT> result = route.handler(wParam, lParam)) {
            // These messages return their result directly, not through DWLP_MSGRESULT.
            switch (message) {
            case WM_QUERYDRAGICON:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORBTN:
                return static_cast<INT_PTR>(*result);
            default:
                return Result(*result);
            }
        }
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        for (const CommandRoute& route : commands_) {
            if (route.id == id && (!route.code || *route.code == code)) {
                route.handler();
                return TRUE;
            }
        }
        if (id == IDOK && (code == BN_CLICKED || lParam == 0)) {
            OnOK();
            return TRUE;
        }
        if (id == IDCANCEL && (code == BN_CLICKED || lParam == 0)) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    }
    if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        for (const NotifyRoute& route : notifications_) {
            if (route.code == header->code && header->idFrom >= route.firstId && header->idFrom <= route.lastId) {
                if (std::optional<LRESULT> result = route.handler(*header)) return Result(*result);
                return FALSE;
            }
        }
        return FALSE;
    }
    return FALSE;
}

} // namespace fw
