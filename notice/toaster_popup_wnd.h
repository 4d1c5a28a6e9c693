#pragma once
// The completion notice of our own: a small panel that slides out of the
// taskbar, shows a title, a line of text and an icon, and opens its link
// when clicked. It runs on the creating thread and deletes itself once its
// window is gone; nobody keeps a pointer to it after Show().

#include "core/text.h"
#include "framework/frame_window.h"
#include "framework/gdiplus_session.h"

#include <windows.h>
#include <shellapi.h>

#include <functional>

class CToasterPopupWnd : public fw::FrameWindow {
public:
    enum class TaskbarEdge { Bottom = 0, Right = 1, Left = 2, Top = 3 };

    // Timer ids: the display timer starts the closing, the slide timer moves
    // the window every few milliseconds while it slides.
    static constexpr UINT_PTR kDisplayTimer = 1;
    static constexpr UINT_PTR kSlideTimer = 2;
    static constexpr UINT kSlideIntervalMs = 5;

    // Test seams, empty in production. Tests place the taskbar where they
    // want it and step the slide with a clock of their own.
    struct Hooks {
        // Instead of SHAppBarMessage(ABM_GETTASKBARPOS): fills rc and uEdge,
        // returns what the query would.
        std::function<BOOL(APPBARDATA& data)> queryTaskbar;
        // Instead of timeGetTime().
        std::function<DWORD()> now;
    };
    static inline Hooks testHooks;

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

private:
    void OnPaint();
    void OnTimer(UINT_PTR id);
    void OnMouseMove(POINT clientPoint);
    void OnLeftButtonDown();
    void SlideStep();
    void StartSlideTimer();
    void MoveToRect();
    DWORD Now() const;
    void ReadTaskbar();

    // Starts GDI+ for as long as the notice lives, whether or not the host
    // runs it too (GDI+ counts its start-ups).
    fw::GdiplusSession gdiplus_;

    TaskbarEdge edge_ = TaskbarEdge::Bottom;
    int width_ = 0;
    int height_ = 0;
    int displayTime_ = 0;    // ms from Show() until closing starts; 0: never
    int animationTime_ = 0;  // ms per slide; 0: no slide
    bool fullyShown_ = false;  // decides the direction of the next slide step
    RECT windowRect_{};
    RECT taskbarRect_{};
    DWORD animationStart_ = 0;
    bool clicked_ = false;
    // The display timer fired while the window was still sliding in (held by
    // the pointer): slide out as soon as the slide-in ends.
    bool closeRequested_ = false;
    core::String title_;
    core::String text_;
    bool hovering_ = false;
    core::String link_;
};
