#pragma once
// The completion notice of our own: a small panel that slides out of the
// taskbar, shows a title, a line of text and an icon, and opens its link
// when clicked. It runs on the creating thread and deletes itself once its
// window is gone; nobody keeps a pointer to it after Show().

#include "core/text.h"
#include "framework/frame_window.h"

#include <windows.h>

#include <functional>

class CToasterPopupWnd : public fw::FrameWindow {
public:
    enum class TaskbarEdge { Bottom = 0, Right = 1, Left = 2, Top = 3 };

    CToasterPopupWnd(int displayTime, int width, int height, int animationTime);
    ~CToasterPopupWnd() override;

    void SetTitle(const core::String& title);
    void SetText(const core::String& text);
    void SetLink(const core::String& link);

    // Places and shows the window and starts its timers. Call once.
    void Show();

    // Set before Show().
    HICON icon = nullptr;  // borrowed: the caller keeps it alive while the notice lives
    int linkStyle = 0;     // 1: the text is drawn as a link, with the hand cursor
    std::function<void(const core::String& link)> onClick;
    std::function<void(CToasterPopupWnd* window)> onDestroy;
};
