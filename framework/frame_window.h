#pragma once
// A top-level window of our own class that owns its C++ object: once the
// window is destroyed, OnFinalMessage runs and (by default) deletes the object.
// Create such windows with new; never on the stack.
//
// Messages go through the tables of MessageRoutes; what no table takes gets
// DefWindowProc. No exception leaves the window procedure: what a handler
// throws ends that message with a message box and DefWindowProc's result
// (GuardCallback). While its window exists the object holds a module lock,
// so the module is not unloaded under a window whose messages and timers are
// still to come.

#include "core/text.h"
#include "framework/message_routes.h"

#include <windows.h>

#include <string>
#include <vector>

namespace fw {

class FrameWindow : protected MessageRoutes {
public:
    virtual ~FrameWindow();
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;

    HWND Hwnd() const { return hwnd_; }

    // Registers a window class of the resource module that routes to
    // FrameWindow objects. Registration is remembered per class name; a
    // failed attempt is tried again on the next call.
    static bool RegisterWindowClass(const wchar_t* className, UINT classStyle, HCURSOR cursor, HBRUSH background);
    // Unregisters every class RegisterWindowClass registered (the module's
    // unloading). A class whose windows still exist stays registered.
    static void UnregisterWindowClasses();

protected:
    FrameWindow() = default;

    bool Create(const wchar_t* className, DWORD exStyle, DWORD style, const RECT& rect, HWND parent,
                const core::String& title);

    // After WM_NCDESTROY: the object's last moment. Deletes it by default.
    virtual void OnFinalMessage() { delete this; }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

    struct RegisteredClass { std::wstring name; HINSTANCE instance; ATOM atom; };
    static inline std::vector<RegisteredClass> registeredClasses_;

    HWND hwnd_ = nullptr;
};

} // namespace fw
