#include "notice/toaster_popup_wnd.h"

#include "framework/callback_guard.h"
#include "framework/handles.h"
#include "framework/wide.h"

#include <gdiplus.h>
#include <mmsystem.h>
#include <windowsx.h>

namespace {

constexpr wchar_t kClassName[] = L"keloAccAlert";

// Where the text line starts and how much of the panel's width the icon
// column takes.
constexpr int kIconLeft = 27;
constexpr int kIconTop = 39;
constexpr int kTextIndentWithIcon = 59;
constexpr int kTextIndentWithoutIcon = 27;

Gdiplus::Color Rgb(BYTE r, BYTE g, BYTE b) { return Gdiplus::Color(255, r, g, b); }

} // namespace

CToasterPopupWnd::CToasterPopupWnd(int displayTime, int width, int height, int animationTime)
    : width_(width), height_(height), displayTime_(displayTime), animationTime_(animationTime) {
    OnMessage(WM_PAINT, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        OnPaint();
        return 0;
    });
    // We paint every pixel ourselves; erasing first would only flicker.
    OnMessage(WM_ERASEBKGND, [](WPARAM, LPARAM) -> std::optional<LRESULT> { return 1; });
    OnMessage(WM_TIMER, [this](WPARAM id, LPARAM) -> std::optional<LRESULT> {
        OnTimer(id);
        return 0;
    });
    OnMessage(WM_MOUSEMOVE, [this](WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        OnMouseMove(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    });
    OnMessage(WM_LBUTTONDOWN, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        OnLeftButtonDown();
        return 0;
    });

    // Failure to register or create is not reported: the notice then simply
    // never appears (and Show() cleans up after it).
    // The class is registered once per process (the framework remembers it);
    // a failed registration is simply tried again by the next notice.
    if (RegisterWindowClass(kClassName, CS_DBLCLKS | CS_SAVEBITS, ::LoadCursorW(nullptr, IDC_ARROW),
                            reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1))) {
        Create(kClassName, WS_EX_TOPMOST | WS_EX_TOOLWINDOW, WS_POPUP, RECT{0, 0, 0, 0}, nullptr, core::String());
    }
}

CToasterPopupWnd::~CToasterPopupWnd() {
    // Runs from the window's last message: what the callback throws must
    // stop here.
    if (onDestroy) fw::GuardCallback([&] { onDestroy(this); }, [] {});
}

void CToasterPopupWnd::SetTitle(const core::String& title) { title_ = title; }
void CToasterPopupWnd::SetText(const core::String& text) { text_ = text; }
void CToasterPopupWnd::SetLink(const core::String& link) { link_ = link; }

DWORD CToasterPopupWnd::Now() const { return testHooks.now ? testHooks.now() : ::timeGetTime(); }

void CToasterPopupWnd::ReadTaskbar() {
    APPBARDATA data{};
    data.cbSize = sizeof data;
    BOOL found = testHooks.queryTaskbar ? testHooks.queryTaskbar(data) : static_cast<BOOL>(::SHAppBarMessage(ABM_GETTASKBARPOS, &data));
    if (!found) {
        // Without an answer we would sit above the top of the screen, unseen.
        // Stand on the bottom of the work area instead, as if the taskbar ran
        // along the bottom of the screen.
        RECT work{};
        int screenWidth = ::GetSystemMetrics(SM_CXSCREEN);
        int screenHeight = ::GetSystemMetrics(SM_CYSCREEN);
        if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) work = RECT{0, 0, screenWidth, screenHeight};
        data.rc = RECT{work.left, work.bottom, work.right, work.bottom > screenHeight ? work.bottom : screenHeight};
        data.uEdge = ABE_BOTTOM;
    }
    taskbarRect_ = data.rc;
    switch (data.uEdge) {
    case ABE_LEFT: edge_ = TaskbarEdge::Left; break;
    case ABE_TOP: edge_ = TaskbarEdge::Top; break;
    case ABE_RIGHT: edge_ = TaskbarEdge::Right; break;
    default: edge_ = TaskbarEdge::Bottom; break;
    }
}

void CToasterPopupWnd::Show() {
    HWND window = Hwnd();
    if (!window) {
        // No window was made: there is nothing to show and nothing will ever
        // destroy us, so go now (nobody holds a pointer to us after Show).
        delete this;
        return;
    }

    ReadTaskbar();
    if (animationTime_ == 0) fullyShown_ = true;

    // With a slide the window starts with zero height on its anchor line and
    // grows away from the taskbar; without one it starts at full size.
    const RECT& t = taskbarRect_;
    const bool slide = animationTime_ != 0;
    switch (edge_) {
    case TaskbarEdge::Bottom:
        windowRect_ = RECT{t.right - width_, slide ? t.top : t.top - height_, t.right, t.top};
        break;
    case TaskbarEdge::Right:
        windowRect_ = RECT{t.left - width_, slide ? t.bottom : t.bottom - height_, t.left, t.bottom};
        break;
    case TaskbarEdge::Left:
        windowRect_ = RECT{t.right, slide ? t.bottom : t.bottom - height_, t.right + width_, t.bottom};
        break;
    case TaskbarEdge::Top:
        windowRect_ = RECT{t.right - width_, t.bottom, t.right, slide ? t.bottom : t.bottom + height_};
        break;
    }
    MoveToRect();

    ::ShowWindow(window, SW_SHOWNA);
    ::UpdateWindow(window);

    if (slide) StartSlideTimer();
    animationStart_ = Now();
    if (displayTime_ != 0) ::SetTimer(window, kDisplayTimer, static_cast<UINT>(displayTime_), nullptr);
}

void CToasterPopupWnd::MoveToRect() {
    ::SetWindowPos(Hwnd(), nullptr, windowRect_.left, windowRect_.top, windowRect_.right - windowRect_.left,
                   windowRect_.bottom - windowRect_.top, SWP_NOZORDER | SWP_NOACTIVATE);
    ::InvalidateRect(Hwnd(), nullptr, TRUE);
}

void CToasterPopupWnd::StartSlideTimer() { ::SetTimer(Hwnd(), kSlideTimer, kSlideIntervalMs, nullptr); }

void CToasterPopupWnd::OnTimer(UINT_PTR id) {
    if (id == kDisplayTimer) {
        ::KillTimer(Hwnd(), kDisplayTimer);
        if (animationTime_ == 0 && !hovering_) {
            ::DestroyWindow(Hwnd());
            return;
        }
        if (!fullyShown_) {
            // Still sliding in (the pointer held it): close once it is out.
            closeRequested_ = true;
            return;
        }
        animationStart_ = Now();
        StartSlideTimer();
    } else if (id == kSlideTimer) {
        SlideStep();
    }
}

void CToasterPopupWnd::SlideStep() {
    if (hovering_ && !clicked_) {
        // Held while the pointer rests on an unclicked notice; when it
        // leaves, the current slide starts again from its beginning.
        animationStart_ = Now();
        StartSlideTimer();
        return;
    }

    const DWORD elapsed = Now() - animationStart_;  // unsigned: survives the clock wrapping
    // A zero slide time (reached when the pointer held a notice that has no
    // slide) has finished at once; dividing by it would give no number.
    double progress = animationTime_ > 0 ? static_cast<double>(elapsed) / animationTime_ : 1.0;
    const bool finished = progress >= 1.0;
    if (finished) progress = 1.0;

    const double shown = fullyShown_ ? 1.0 - progress : progress;
    const RECT& t = taskbarRect_;
    switch (edge_) {
    case TaskbarEdge::Bottom: windowRect_.top = static_cast<LONG>(t.top - height_ * shown); break;
    case TaskbarEdge::Right:
    case TaskbarEdge::Left: windowRect_.top = static_cast<LONG>(t.bottom - height_ * shown); break;
    case TaskbarEdge::Top: windowRect_.bottom = static_cast<LONG>(t.bottom + height_ * shown); break;
    }

    if (finished) {
        if (!fullyShown_) {
            fullyShown_ = true;
            if (closeRequested_) {
                // The display time is long over: go straight into the slide-out.
                closeRequested_ = false;
                animationStart_ = Now();
            } else {
                ::KillTimer(Hwnd(), kSlideTimer);
            }
        } else {
            fullyShown_ = false;
            ::KillTimer(Hwnd(), kSlideTimer);
            ::DestroyWindow(Hwnd());
            return;
        }
    }
    MoveToRect();
}

void CToasterPopupWnd::OnMouseMove(POINT clientPoint) {
    POINT screen = clientPoint;
    ::ClientToScreen(Hwnd(), &screen);
    RECT bounds{};
    ::GetWindowRect(Hwnd(), &bounds);
    const bool inside = ::PtInRect(&bounds, screen) != FALSE;
    if (inside && !hovering_) {
        // Captured, so the move that takes the pointer away reaches us too.
        ::SetCapture(Hwnd());
        if (linkStyle == 1) ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        hovering_ = true;
    } else if (!inside && hovering_) {
        ::ReleaseCapture();
        if (linkStyle == 1) ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
        hovering_ = false;
    }
}

void CToasterPopupWnd::OnLeftButtonDown() {
    if (clicked_) return;
    if (onClick) {
        core::String link = link_;  // the callee may outlive or outrun our fields
        onClick(link);
    }
    // From the next slide step on, the notice slides out and is no longer
    // held by the pointer.
    fullyShown_ = true;
    clicked_ = true;
}

void CToasterPopupWnd::OnPaint() {
    fw::PaintDc paint(Hwnd());
    HDC dc = paint.get();
    if (!dc) return;
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int w = client.right - client.left;
    const int h = client.bottom - client.top;

    // The drawing objects live for this paint only.
    if (gdiplus_.Started() && w > 0 && h > 0) {
        using namespace Gdiplus;
        Graphics graphics(dc);

        Pen outline(Rgb(0, 0, 0), 1.0f);
        graphics.DrawRectangle(&outline, 0, 0, w - 1, h - 1);

        SolidBrush frame(Rgb(0x2C, 0x78, 0xDA));
        graphics.FillRectangle(&frame, 1, 1, w - 1, h - 1);

        const Rect panel(4, 4, w - 7, h - 7);
        if (panel.Width > 0 && panel.Height > 0) {
            // While the window is still low, the panel is too thin for a gradient.
            LinearGradientBrush gradient(panel, Rgb(0xED, 0xF2, 0xFF), Rgb(0xD2, 0xDB, 0xF2), LinearGradientModeVertical);
            graphics.FillRectangle(&gradient, panel);
        }

        FontFamily verdana(L"Verdana");
        const FontFamily* family = verdana.IsAvailable() ? &verdana : FontFamily::GenericSansSerif();

        if (!title_.empty()) {
            Font titleFont(family, 10.0f, FontStyleBold, UnitPoint);
            SolidBrush titleBrush(Rgb(0x51, 0x60, 0x8B));
            StringFormat format;
            format.SetAlignment(StringAlignmentCenter);
            format.SetLineAlignment(StringAlignmentNear);
            const RectF box(4.0f, 13.0f, static_cast<REAL>(w - 7), static_cast<REAL>(h - 7));
            graphics.DrawString(fw::W(title_), static_cast<INT>(title_.size()), &titleFont, box, &format, &titleBrush);
        }

        if (!text_.empty()) {
            const bool asLink = linkStyle == 1;
            Font textFont(family, 8.0f, asLink ? FontStyleBold | FontStyleUnderline : FontStyleBold, UnitPoint);
            SolidBrush textBrush(asLink ? Rgb(0x00, 0x00, 0xFF) : Rgb(0x6E, 0x6F, 0x73));
            StringFormat format(StringFormatFlagsLineLimit);
            format.SetAlignment(StringAlignmentNear);
            format.SetLineAlignment(StringAlignmentCenter);
            format.SetTrimming(StringTrimmingEllipsisPath);
            const int indent = icon ? kTextIndentWithIcon : kTextIndentWithoutIcon;
            const RectF box(static_cast<REAL>(4 + indent), 39.0f, static_cast<REAL>((w - 7) - indent - 27), 32.0f);
            graphics.DrawString(fw::W(text_), static_cast<INT>(text_.size()), &textFont, box, &format, &textBrush);
        }
    }

    if (icon) ::DrawIcon(dc, kIconLeft, kIconTop, icon);
}
