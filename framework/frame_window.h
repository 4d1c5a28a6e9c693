#pragma once
// A top-level window of our own class that owns its C++ object: once the
// window is destroyed, OnFinalMessage runs and (by default) deletes the object.
// Create such windows with new; never on the stack.

#include "core/text.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <vector>

namespace fw {

class FrameWindow {
public:
    virtual ~FrameWindow();
    FrameWindow(const FrameWindow&) = delete;
    FrameWindow& operator=(const FrameWindow&) = delete;

    HWND Hwnd() const { return hwnd_; }

    // Registers a window class of the resource module that routes to
    // FrameWindow objects. Registration is remembered per class name; a
    // failed attempt is tried again on the next call.
    static bool RegisterWindowClass(const wchar_t* className, UINT classStyle, HCURSOR cursor, HBRUSH background);

protected:
    FrameWindow() = default;

    // Returns the message's result when the handler took the message.
    using MessageHandler = std::function<std::optional<LRESULT>(WPARAM, LPARAM)>;
    void OnMessage(UINT message, MessageHandler handler);

    bool Create(const wchar_t* className, DWORD exStyle, DWORD style, const RECT& rect, HWND parent,
                const core::String& title);

    // After WM_NCDESTROY: the object's last moment. Deletes it by default.
    virtual void OnFinalMessage() { delete this; }

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);

    HWND hwnd_ = nullptr;
    struct Route { UINT message; MessageHandler handler; };
    std::vector<Route> routes_;
};

} // namespace fw
