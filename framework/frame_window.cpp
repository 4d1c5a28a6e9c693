#include "framework/frame_window.h"

#include "framework/module.h"
#include "framework/wide.h"

namespace fw {

FrameWindow::~FrameWindow() {
    // Destroying the object first: detach so the window no longer reaches it.
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

bool FrameWindow::RegisterWindowClass(const wchar_t* className, UINT classStyle, HCURSOR cursor, HBRUSH background) {
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(ResourceModule(), className, &existing)) return true;
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ResourceModule();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    return ::RegisterClassExW(&wc) != 0;
}

void FrameWindow::OnMessage(UINT message, MessageHandler handler) {
    routes_.push_back({message, std::move(handler)});
}

bool FrameWindow::Create(const wchar_t* className, DWORD exStyle, DWORD style, const RECT& rect, HWND parent,
                         const core::String& title) {
    HWND window = ::CreateWindowExW(exStyle, className, W(title), style, rect.left, rect.top, rect.right - rect.left,
                                    rect.bottom - rect.top, parent, nullptr, ResourceModule(), this);
    return window != nullptr;
}

LRESULT CALLBACK FrameWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    FrameWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<FrameWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<FrameWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);

    LRESULT result = 0;
    bool handled = false;
    for (const Route& route : self->routes_) {
        if (route.message != message) continue;
        if (std::optional<LRESULT> r = route.handler(wParam, lParam)) {
            result = *r;
            handled = true;
            break;
        }
    }
    if (!handled) result = ::DefWindowProcW(window, message, wParam, lParam);

    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->OnFinalMessage();
    }
    return result;
}

} // namespace fw
