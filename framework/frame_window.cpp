#include "framework/frame_window.h"

#include "framework/callback_guard.h"
#include "framework/module.h"
#include "framework/wide.h"

namespace fw {

FrameWindow::~FrameWindow() {
    // Destroying the object first: detach so the window no longer reaches
    // it, and give back the window's lock here, as its last message no
    // longer finds us.
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
        ModuleLock::Release();
    }
}

bool FrameWindow::RegisterWindowClass(const wchar_t* className, UINT classStyle, HCURSOR cursor, HBRUSH background) {
    for (const RegisteredClass& registered : registeredClasses_) {
        if (registered.name == className) return true;
    }
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.style = classStyle;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = ResourceModule();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.lpszClassName = className;
    // Everything that may throw comes first: no class is registered without its entry.
    RegisteredClass entry{className, wc.hInstance, 0};
    registeredClasses_.reserve(registeredClasses_.size() + 1);
    entry.atom = ::RegisterClassExW(&wc);
    if (!entry.atom) return false;
    registeredClasses_.push_back(std::move(entry));
    return true;
}

void FrameWindow::UnregisterWindowClasses() {
    for (const RegisteredClass& registered : registeredClasses_)
        ::UnregisterClassW(MAKEINTATOM(registered.atom), registered.instance);
    registeredClasses_.clear();
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
        // Released after WM_NCDESTROY, or by the destructor when the object goes first.
        ModuleLock::Add();
    } else {
        self = reinterpret_cast<FrameWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcW(window, message, wParam, lParam);

    auto defaultHandling = [&] { return ::DefWindowProcW(window, message, wParam, lParam); };
    const LRESULT result = GuardCallback(
        [&] {
            std::optional<LRESULT> routed = self->Route(message, wParam, lParam);
            return routed ? *routed : defaultHandling();
        },
        defaultHandling);

    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        GuardCallback([&] { self->OnFinalMessage(); }, [] {});
        ModuleLock::Release();
    }
    return result;
}

} // namespace fw
