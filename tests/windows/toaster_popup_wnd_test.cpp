// The completion notice under Wine: where it stands and how it slides for each
// taskbar edge, the hold under the pointer, clicks, its painting (saved as
// screenshots into build/windows/screenshots/) and that it leaves no handles.
//
// Time is ours: the slide reads a fake clock through the notice's test hooks,
// and the test pumps messages until the real 5 ms slide timer has run a step
// at the fake moment it chose. Every wait is bounded.

#include "notice/toaster_popup_wnd.h"
#include "gui_counters.h"

#include "framework/gdiplus_session.h"
#include "framework/wide.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 100;

std::string Describe(const RECT& r) {
    char text[80];
    std::snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

::testing::AssertionResult RectIs(HWND window, const RECT& expected) {
    RECT actual{};
    if (!::IsWindow(window)) return ::testing::AssertionFailure() << "the window is gone";
    ::GetWindowRect(window, &actual);
    if (::EqualRect(&actual, &expected)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "window at " << Describe(actual) << ", expected " << Describe(expected);
}

// What one notice told us through its callbacks.
struct Watch {
    bool destroyed = false;
    CToasterPopupWnd* destroyedWindow = nullptr;
    int clicks = 0;
    core::String link;
};

class ToastTest : public ::testing::Test {
protected:
    static inline DWORD fakeNow = 0;
    static inline APPBARDATA taskbar{};
    static inline BOOL taskbarFound = TRUE;

    void SetUp() override {
        fakeNow = 0xFFFFFF00u;  // close to the wrap, so elapsed times must be taken unsigned
        taskbarFound = TRUE;
        SetTaskbar(ABE_BOTTOM, RECT{0, 984, 1280, 1024});
        CToasterPopupWnd::testHooks.now = [] { return fakeNow; };
        CToasterPopupWnd::testHooks.queryTaskbar = [](APPBARDATA& data) {
            data.rc = taskbar.rc;
            data.uEdge = taskbar.uEdge;
            return taskbarFound;
        };
        ::SetCursorPos(5, 5);
    }

    void TearDown() override {
        // A notice a failed test left behind must not leak into the next.
        for (HWND window : NoticeWindows()) ::DestroyWindow(window);
        Pump(10);
        timerHits.clear();
        CToasterPopupWnd::testHooks = {};
    }

    // Lives until after TearDown, which may still destroy a notice.
    Watch& NewWatch() { return watches_.emplace_back(); }
    std::list<Watch> watches_;

    static void SetTaskbar(UINT edge, RECT rc) {
        taskbar.uEdge = edge;
        taskbar.rc = rc;
    }

    static std::vector<HWND> NoticeWindows() {
        std::vector<HWND> found;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND window, LPARAM param) -> BOOL {
                wchar_t name[64] = {};
                ::GetClassNameW(window, name, 64);
                if (std::wstring(name) == L"keloAccAlert") reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    CToasterPopupWnd* Make(Watch& watch, int displayTime, int animationTime) {
        auto* toast = new CToasterPopupWnd(displayTime, kWidth, kHeight, animationTime);
        toast->SetTitle(u"Posting to Blog Complete");
        toast->SetText(u"velluma.example.com/blog");
        toast->SetLink(u"http://www.velluma.example.com/blog");
        toast->linkStyle = 1;
        toast->onClick = [&watch](const core::String& link) {
            ++watch.clicks;
            watch.link = link;
        };
        toast->onDestroy = [&watch](CToasterPopupWnd* window) {
            watch.destroyed = true;
            watch.destroyedWindow = window;
        };
        return toast;
    }

    // Timer messages dispatched so far, per window and timer id.
    static inline std::map<std::pair<HWND, UINT_PTR>, int> timerHits;

    static void DispatchPending() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER) ++timerHits[{msg.hwnd, msg.wParam}];
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }

    // Dispatches this thread's messages for about `ms` real milliseconds.
    static void Pump(DWORD ms) {
        const DWORD start = ::GetTickCount();
        do {
            DispatchPending();
            ::Sleep(1);
        } while (::GetTickCount() - start < ms);
    }

    // Dispatches messages until `window` has received `count` timer messages
    // with `timerId` in all (counted since the window was made), or is gone;
    // false after five seconds.
    static bool PumpUntilTimerCount(HWND window, UINT_PTR timerId, int count) {
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 5000) {
            DispatchPending();
            if (!::IsWindow(window) || timerHits[{window, timerId}] >= count) return true;
            ::Sleep(1);
        }
        return false;
    }

    // The display timer has fired (now or earlier).
    static bool WaitDisplayTimer(HWND window) {
        return PumpUntilTimerCount(window, CToasterPopupWnd::kDisplayTimer, 1);
    }

    // One more slide step (or more when asked).
    static bool PumpSlideSteps(HWND window, int steps = 1) {
        return PumpUntilTimerCount(window, CToasterPopupWnd::kSlideTimer,
                                   timerHits[{window, CToasterPopupWnd::kSlideTimer}] + steps);
    }

    // Sets the fake clock forward and lets the slide timer run a step at
    // that moment.
    static void Advance(HWND window, DWORD ms) {
        fakeNow += ms;
        ASSERT_TRUE(PumpSlideSteps(window)) << "no slide step within 5 s";
    }

    // Moves the pointer to a screen point and tells the window, as a real
    // move would (the real warp may arrive as well; both say the same).
    static void MovePointer(HWND window, int x, int y) {
        ::SetCursorPos(x, y);
        POINT client{x, y};
        ::ScreenToClient(window, &client);
        ::SendMessageW(window, WM_MOUSEMOVE, 0,
                       MAKELPARAM(static_cast<WORD>(static_cast<short>(client.x)), static_cast<WORD>(static_cast<short>(client.y))));
    }

    static bool PumpUntilGone(HWND window, const Watch& watch) {
        const DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < 5000) {
            Pump(5);
            if (watch.destroyed && !::IsWindow(window)) return true;
        }
        return false;
    }
};

// ---------------------------------------------------------------------------
// Placement and the slide, per taskbar edge.

struct EdgeCase {
    const char* name;
    UINT edge;          // as the taskbar query answers
    RECT taskbar;
    RECT full;          // the window when fully out
    bool growsDown;     // the moving edge is the bottom one
};

const EdgeCase kEdges[] = {
    {"bottom", ABE_BOTTOM, {0, 984, 1280, 1024}, {880, 884, 1280, 984}, false},
    {"top", ABE_TOP, {0, 0, 1280, 40}, {880, 40, 1280, 140}, true},
    {"left", ABE_LEFT, {0, 0, 60, 1024}, {60, 924, 460, 1024}, false},
    {"right", ABE_RIGHT, {1220, 0, 1280, 1024}, {820, 924, 1220, 1024}, false},
    // An edge value the query should never give is taken as the bottom.
    {"unknown edge", 7, {0, 984, 1280, 1024}, {880, 884, 1280, 984}, false},
};

// The window when `shown` pixels of it are out.
RECT Partly(const EdgeCase& c, int shown) {
    RECT r = c.full;
    if (c.growsDown) r.bottom = r.top + shown;
    else r.top = r.bottom - shown;
    return r;
}

TEST_F(ToastTest, SlidesInHoldsFullSizeAndSlidesOutForEveryTaskbarEdge) {
    for (const EdgeCase& c : kEdges) {
        SCOPED_TRACE(c.name);
        SetTaskbar(c.edge, c.taskbar);
        Watch& watch = NewWatch();
        CToasterPopupWnd* toast = Make(watch, 800, 500);
        HWND window = toast->Hwnd();
        ASSERT_NE(window, nullptr);
        toast->Show();

        EXPECT_TRUE(RectIs(window, Partly(c, 0))) << "zero height on the anchor line at Show";
        EXPECT_TRUE(::IsWindowVisible(window));
        EXPECT_EQ(::GetWindowLongW(window, GWL_STYLE) & WS_POPUP, static_cast<LONG>(WS_POPUP));
        EXPECT_EQ(::GetWindowLongW(window, GWL_EXSTYLE) & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_CLIENTEDGE),
                  static_cast<LONG>(WS_EX_TOPMOST | WS_EX_TOOLWINDOW));

        Advance(window, 250);
        EXPECT_TRUE(RectIs(window, Partly(c, 50))) << "half way after 250 ms";
        Advance(window, 250);
        EXPECT_TRUE(RectIs(window, c.full)) << "full size after 500 ms";
        // The slide-in is over: its timer is gone, so a step no longer moves it.
        fakeNow += 1000;
        Pump(30);
        EXPECT_TRUE(RectIs(window, c.full));

        // The real display timer starts the slide-out.
        ASSERT_TRUE(WaitDisplayTimer(window));
        EXPECT_TRUE(RectIs(window, c.full));
        Advance(window, 100);
        EXPECT_TRUE(RectIs(window, Partly(c, 80)));
        EXPECT_FALSE(watch.destroyed);
        Advance(window, 400);
        EXPECT_FALSE(::IsWindow(window)) << "destroyed at the end of the slide-out";
        EXPECT_TRUE(watch.destroyed);
        EXPECT_EQ(watch.destroyedWindow, toast);
        EXPECT_EQ(watch.clicks, 0);
    }
}

TEST_F(ToastTest, PointerHoldsTheSlideAndItsLeavingRestartsTheSlide) {
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 0, 500);
    HWND window = toast->Hwnd();
    toast->Show();
    Advance(window, 250);
    ASSERT_TRUE(RectIs(window, RECT{880, 934, 1280, 984}));

    // Sliding in, held.
    MovePointer(window, 1000, 960);
    EXPECT_EQ(::GetCapture(), window);
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_HAND)) << "link style shows the hand";
    Advance(window, 200);
    EXPECT_TRUE(RectIs(window, RECT{880, 934, 1280, 984})) << "held while the pointer rests on it";
    Advance(window, 5000);
    EXPECT_TRUE(RectIs(window, RECT{880, 934, 1280, 984}));

    // The pointer leaves: the slide-in starts again from zero height.
    MovePointer(window, 100, 100);
    EXPECT_NE(::GetCapture(), window);
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_ARROW));
    Advance(window, 50);
    EXPECT_TRUE(RectIs(window, RECT{880, 974, 1280, 984})) << "10 px after 50 ms of the restarted slide";
    Advance(window, 450);
    EXPECT_TRUE(RectIs(window, RECT{880, 884, 1280, 984}));

    // Sliding out (the display timer's work, done here by hand), held, then
    // left: it jumps back to full height and slides out from the start.
    ::SendMessageW(window, WM_TIMER, CToasterPopupWnd::kDisplayTimer, 0);
    Advance(window, 200);
    ASSERT_TRUE(RectIs(window, RECT{880, 924, 1280, 984}));
    MovePointer(window, 1000, 960);
    Advance(window, 1000);
    EXPECT_TRUE(RectIs(window, RECT{880, 924, 1280, 984}));
    MovePointer(window, 100, 100);
    Advance(window, 0);
    EXPECT_TRUE(RectIs(window, RECT{880, 884, 1280, 984}));
    Advance(window, 500);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(watch.destroyed);
}

TEST_F(ToastTest, PlainStyleKeepsTheArrowUnderThePointer) {
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 0, 0);
    toast->linkStyle = 0;
    HWND window = toast->Hwnd();
    toast->Show();
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    MovePointer(window, 1000, 960);
    EXPECT_EQ(::GetCapture(), window);
    EXPECT_EQ(::GetCursor(), ::LoadCursorW(nullptr, IDC_ARROW));
    MovePointer(window, 100, 100);
    EXPECT_NE(::GetCapture(), window);
}

TEST_F(ToastTest, WithoutSlideItShowsAtFullSizeAndTheDisplayTimerDestroysIt) {
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 50, 0);
    HWND window = toast->Hwnd();
    toast->Show();
    EXPECT_TRUE(RectIs(window, RECT{880, 884, 1280, 984}));
    ASSERT_TRUE(PumpUntilGone(window, watch));
}

TEST_F(ToastTest, WithoutSlideAHeldNoticeGoesAtTheFirstStepAfterThePointerLeft) {
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 50, 0);
    HWND window = toast->Hwnd();
    toast->Show();
    MovePointer(window, 1000, 960);
    ASSERT_TRUE(WaitDisplayTimer(window));
    // The clock stands still: every step sees no time passed since the
    // display timer, which must still count as a finished slide.
    Advance(window, 0);
    EXPECT_TRUE(RectIs(window, RECT{880, 884, 1280, 984})) << "held while the pointer rests on it";
    EXPECT_FALSE(watch.destroyed);
    MovePointer(window, 100, 100);
    Advance(window, 0);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(watch.destroyed);
}

TEST_F(ToastTest, DisplayTimeZeroNeverClosesByItself) {
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 0, 500);
    HWND window = toast->Hwnd();
    toast->Show();
    Advance(window, 500);
    EXPECT_TRUE(RectIs(window, RECT{880, 884, 1280, 984}));
    EXPECT_FALSE(::KillTimer(window, CToasterPopupWnd::kDisplayTimer)) << "no display timer was started";
    Pump(100);
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_FALSE(watch.destroyed);
    ::DestroyWindow(window);
    EXPECT_TRUE(watch.destroyed) << "destroying the window deletes the notice";
}

TEST_F(ToastTest, DisplayTimerDuringAHeldSlideInClosesOnceTheSlideInEnds) {
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 300, 500);
    HWND window = toast->Hwnd();
    toast->Show();
    Advance(window, 100);
    MovePointer(window, 1000, 975);
    ASSERT_TRUE(WaitDisplayTimer(window));
    Advance(window, 100);
    EXPECT_TRUE(RectIs(window, RECT{880, 964, 1280, 984})) << "still held";
    MovePointer(window, 100, 100);
    Advance(window, 500);
    EXPECT_TRUE(RectIs(window, RECT{880, 884, 1280, 984}));
    // No display timer is left to close it: the slide-out follows by itself.
    Advance(window, 250);
    EXPECT_TRUE(RectIs(window, RECT{880, 934, 1280, 984}));
    Advance(window, 250);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(watch.destroyed);
}

// ---------------------------------------------------------------------------
// Clicks.

TEST_F(ToastTest, FirstClickCallsOnClickOnceAndTurnsTheSlideInIntoASlideOut) {
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 0, 500);  // nothing but the click can close it
    HWND window = toast->Hwnd();
    toast->Show();
    Advance(window, 150);
    ASSERT_TRUE(RectIs(window, RECT{880, 954, 1280, 984}));

    // The pointer is on it (which would hold the slide) and clicks.
    MovePointer(window, 1000, 970);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 16));
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(120, 16));
    EXPECT_EQ(watch.clicks, 1);
    EXPECT_EQ(watch.link, u"http://www.velluma.example.com/blog");
    EXPECT_TRUE(::IsWindow(window)) << "a click does not close the window by itself";

    // From the next step on it slides out, from where the slide-in's time
    // puts it: 30% in is 70% still to go out.
    Advance(window, 0);
    EXPECT_TRUE(RectIs(window, RECT{880, 914, 1280, 984}));
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 16));
    EXPECT_EQ(watch.clicks, 1) << "later clicks do nothing";
    Advance(window, 350);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(watch.destroyed);
    EXPECT_EQ(watch.clicks, 1);
}

TEST_F(ToastTest, ClickedNoticeIsNotHeldByThePointerAndNeedsNoHandler) {
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 300, 500);
    toast->onClick = nullptr;
    HWND window = toast->Hwnd();
    toast->Show();
    Advance(window, 500);
    MovePointer(window, 1000, 960);
    ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(120, 76));
    EXPECT_TRUE(::IsWindow(window));
    EXPECT_EQ(::GetCapture(), window) << "the pointer still rests on it";
    // The display timer closes it although the pointer is over it.
    ASSERT_TRUE(WaitDisplayTimer(window));
    Advance(window, 250);
    EXPECT_TRUE(RectIs(window, RECT{880, 934, 1280, 984}));
    Advance(window, 250);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_TRUE(watch.destroyed);
}

// ---------------------------------------------------------------------------
// The taskbar query.

TEST_F(ToastTest, FailedTaskbarQueryStandsOnTheBottomOfTheWorkArea) {
    taskbarFound = FALSE;
    SetTaskbar(ABE_LEFT, RECT{0, 0, 0, 0});  // what a failed query leaves behind
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 0, 500);
    HWND window = toast->Hwnd();
    toast->Show();
    EXPECT_TRUE(RectIs(window, RECT{work.right - kWidth, work.bottom, work.right, work.bottom}));
    Advance(window, 500);
    EXPECT_TRUE(RectIs(window, RECT{work.right - kWidth, work.bottom - kHeight, work.right, work.bottom}));
}

TEST_F(ToastTest, RealTaskbarQueryPutsTheNoticeOnScreen) {
    CToasterPopupWnd::testHooks.queryTaskbar = nullptr;
    Watch& watch = NewWatch();
    CToasterPopupWnd* toast = Make(watch, 0, 0);
    HWND window = toast->Hwnd();
    toast->Show();
    RECT r{};
    ::GetWindowRect(window, &r);
    EXPECT_EQ(r.right - r.left, kWidth);
    EXPECT_EQ(r.bottom - r.top, kHeight);
    EXPECT_GE(r.left, 0);
    EXPECT_GE(r.top, 0);
    EXPECT_LE(r.right, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_LE(r.bottom, ::GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(ToastTest, TwoNoticesTakeTheSamePlaceAndTheNewerIsOnTop) {
    Watch& first = NewWatch();
    Watch& second = NewWatch();
    CToasterPopupWnd* older = Make(first, 0, 0);
    HWND olderWindow = older->Hwnd();
    older->Show();
    CToasterPopupWnd* newer = Make(second, 0, 0);
    HWND newerWindow = newer->Hwnd();
    newer->Show();
    EXPECT_TRUE(RectIs(olderWindow, RECT{880, 884, 1280, 984}));
    EXPECT_TRUE(RectIs(newerWindow, RECT{880, 884, 1280, 984}));
    bool olderBelow = false;
    for (HWND w = ::GetWindow(newerWindow, GW_HWNDNEXT); w; w = ::GetWindow(w, GW_HWNDNEXT)) {
        if (w == olderWindow) olderBelow = true;
    }
    EXPECT_TRUE(olderBelow);
}

// ---------------------------------------------------------------------------
// Painting: screenshots of the window, saved for a look and checked at a few
// pixels.

std::wstring BuildFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    p.resize(p.find_last_of(L"\\/"));    // bin
    p.resize(p.find_last_of(L"\\/"));    // build/windows
    return p;
}

bool SavePng(HBITMAP bitmap, const std::wstring& file) {
    UINT count = 0, size = 0;
    Gdiplus::GetImageEncodersSize(&count, &size);
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (std::wstring(codecs[i].MimeType) != L"image/png") continue;
        Gdiplus::Bitmap image(bitmap, nullptr);
        return image.Save(file.c_str(), &codecs[i].Clsid, nullptr) == Gdiplus::Ok;
    }
    return false;
}

// The painted client area, read back from the window's own DC.
class Shot {
public:
    Shot(HWND window, int w, int h) : w_(w), h_(h) {
        HDC windowDc = ::GetDC(window);
        dc_ = ::CreateCompatibleDC(windowDc);
        bitmap_ = ::CreateCompatibleBitmap(windowDc, w, h);
        old_ = ::SelectObject(dc_, bitmap_);
        ::BitBlt(dc_, 0, 0, w, h, windowDc, 0, 0, SRCCOPY);
        ::ReleaseDC(window, windowDc);
    }
    ~Shot() {
        ::SelectObject(dc_, old_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    COLORREF At(int x, int y) const { return ::GetPixel(dc_, x, y); }
    bool Save(const std::wstring& file) {
        ::SelectObject(dc_, old_);
        bool saved = SavePng(bitmap_, file);
        ::SelectObject(dc_, bitmap_);
        return saved;
    }
    // Leftmost column from `from` on, in the text line (y 39..70), holding a pixel that is
    // `matches`, or -1.
    template <typename Pred>
    int FirstColumn(int from, Pred matches) const {
        for (int x = from; x < w_; ++x)
            for (int y = 39; y < 71; ++y)
                if (matches(At(x, y))) return x;
        return -1;
    }
    template <typename Pred>
    int Count(int x0, int y0, int x1, int y1, Pred matches) const {
        int n = 0;
        for (int x = x0; x < x1; ++x)
            for (int y = y0; y < y1; ++y)
                if (matches(At(x, y))) ++n;
        return n;
    }

private:
    int w_, h_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

::testing::AssertionResult Near(COLORREF actual, BYTE r, BYTE g, BYTE b, int tolerance) {
    int dr = std::abs(GetRValue(actual) - r), dg = std::abs(GetGValue(actual) - g), db = std::abs(GetBValue(actual) - b);
    if (dr <= tolerance && dg <= tolerance && db <= tolerance) return ::testing::AssertionSuccess();
    char text[96];
    std::snprintf(text, sizeof text, "#%02X%02X%02X, expected #%02X%02X%02X", GetRValue(actual), GetGValue(actual),
                  GetBValue(actual), r, g, b);
    return ::testing::AssertionFailure() << text;
}

bool IsLinkBlue(COLORREF c) { return GetBValue(c) > 180 && GetRValue(c) < 120 && GetGValue(c) < 120; }
// Dark grey text, antialiased against the pale gradient.
bool IsGreyText(COLORREF c) {
    return GetRValue(c) < 170 && std::abs(GetRValue(c) - GetGValue(c)) < 24 && std::abs(GetBValue(c) - GetRValue(c)) < 40;
}

HICON LoadTestIcon() {
    std::wstring file = BuildFolder() + L"\\generated\\Velluma.ico";
    HICON icon = static_cast<HICON>(::LoadImageW(nullptr, file.c_str(), IMAGE_ICON, 48, 48, LR_LOADFROMFILE));
    return icon;
}

TEST_F(ToastTest, PaintsFrameGradientTextAndIcon) {
    fw::GdiplusSession gdiplus;  // for our own PNG encoder
    ASSERT_TRUE(gdiplus.Started());
    HICON icon = LoadTestIcon();
    ASSERT_NE(icon, nullptr) << "the build's Velluma.ico";
    const std::wstring folder = BuildFolder() + L"\\screenshots";
    ::CreateDirectoryW(folder.c_str(), nullptr);

    struct Variant {
        const char* name;
        const wchar_t* file;
        bool withIcon;
        int linkStyle;
    };
    const Variant variants[] = {
        {"icon, link", L"toast_icon_link.png", true, 1},
        {"icon, plain", L"toast_icon_plain.png", true, 0},
        {"no icon, link", L"toast_noicon_link.png", false, 1},
        {"no icon, plain", L"toast_noicon_plain.png", false, 0},
    };
    for (const Variant& v : variants) {
        SCOPED_TRACE(v.name);
        Watch& watch = NewWatch();
        CToasterPopupWnd* toast = Make(watch, 0, 0);
        toast->SetText(u"velluma.example.com/2024/05/a-rather-long-address-of-a-post/that-does-not-fit-the-line.html");
        toast->linkStyle = v.linkStyle;
        toast->icon = v.withIcon ? icon : nullptr;
        HWND window = toast->Hwnd();
        toast->Show();
        Pump(50);
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

        Shot shot(window, kWidth, kHeight);
        EXPECT_TRUE(shot.Save(folder + L"\\" + v.file));

        EXPECT_TRUE(Near(shot.At(0, 0), 0, 0, 0, 0)) << "outline";
        EXPECT_TRUE(Near(shot.At(0, 50), 0, 0, 0, 0)) << "outline";
        EXPECT_TRUE(Near(shot.At(200, 0), 0, 0, 0, 0)) << "outline";
        EXPECT_TRUE(Near(shot.At(2, 50), 0x2C, 0x78, 0xDA, 0)) << "frame";
        EXPECT_TRUE(Near(shot.At(kWidth - 2, 50), 0x2C, 0x78, 0xDA, 0)) << "frame";
        EXPECT_TRUE(Near(shot.At(200, kHeight - 2), 0x2C, 0x78, 0xDA, 0)) << "frame";
        EXPECT_TRUE(Near(shot.At(kWidth - 10, 4), 0xED, 0xF2, 0xFF, 3)) << "gradient top";
        EXPECT_TRUE(Near(shot.At(kWidth - 10, kHeight - 4), 0xD2, 0xDB, 0xF2, 3)) << "gradient bottom";

        // Title pixels in its colour's neighbourhood, centred in the top band.
        const int titleLeft = shot.Count(4, 13, 200, 30, [](COLORREF c) { return GetRValue(c) < 140 && GetBValue(c) < 200; });
        const int titleRight = shot.Count(200, 13, kWidth - 4, 30, [](COLORREF c) { return GetRValue(c) < 140 && GetBValue(c) < 200; });
        EXPECT_GT(titleLeft, 20);
        EXPECT_GT(titleRight, 20);

        // The text line: blue link or grey plain text, starting after the icon
        // column when there is an icon.
        const int blue = shot.Count(63, 39, kWidth - 31, 71, IsLinkBlue);
        if (v.linkStyle == 1) EXPECT_GT(blue, 50) << "link text in blue";
        else EXPECT_EQ(blue, 0) << "plain text is not blue";
        // With an icon, look right of it; without, from the panel's edge on.
        const int textStart = shot.FirstColumn(v.withIcon ? 60 : 4, v.linkStyle == 1 ? IsLinkBlue : IsGreyText);
        if (v.withIcon) {
            EXPECT_GE(textStart, 63);
            EXPECT_LT(textStart, 70);
            const int iconPixels = shot.Count(27, 39, 59, 71, [](COLORREF c) { return !(GetRValue(c) > 200 && GetBValue(c) > 230); });
            EXPECT_GT(iconPixels, 100) << "the icon at (27, 39)";
        } else {
            EXPECT_GE(textStart, 31);
            EXPECT_LT(textStart, 38);
        }
        ::DestroyWindow(window);
        EXPECT_TRUE(watch.destroyed);
    }
    ::DestroyIcon(icon);
}

// ---------------------------------------------------------------------------
// Handles.

using guicount::GdiObjects;

TEST_F(ToastTest, HundredNoticesLeaveNoHandlesBehind) {
    HICON icon = LoadTestIcon();
    ASSERT_NE(icon, nullptr);
    // Away from every place a test here puts the pointer: a pointer resting
    // on a notice would hold it.
    SetTaskbar(ABE_LEFT, RECT{0, 0, 440, 400});
    int shown = 0;
    DWORD slowest = 0;  // ms, the longest a notice took from Show to gone
    std::vector<HBRUSH> leaked;
    bool leakOne = false;  // the proof below: one brush left behind per notice
    auto showAndClose = [&] {
        const int i = shown++;
        Watch& watch = NewWatch();
        CToasterPopupWnd* toast = Make(watch, 1, i % 2 ? 0 : 500);
        toast->icon = i % 3 ? icon : nullptr;
        HWND window = toast->Hwnd();
        toast->Show();
        Pump(5);
        ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        // Time runs on until the slides are over and the window is gone. A
        // notice paints at every slide step, which a loaded machine slows
        // down: the bound only ends a notice that would never go.
        const DWORD start = ::GetTickCount();
        while (!watch.destroyed && ::GetTickCount() - start < 60000) {
            fakeNow += 100;
            Pump(2);
        }
        slowest = std::max(slowest, ::GetTickCount() - start);
        ASSERT_TRUE(watch.destroyed) << "notice " << i << " still there after 60 s, at " << [&] {
            RECT rect{};
            ::GetWindowRect(window, &rect);
            return Describe(rect);
        }();
        ASSERT_FALSE(::IsWindow(window));
        if (leakOne) leaked.push_back(::CreateSolidBrush(RGB(1, 2, 3)));
    };
    // The first notices register the class and fill GDI+'s font caches; then
    // fifty and a hundred more, all in this one process. A notice that left
    // even one object or window behind grows by a hundred in the second
    // stretch; Wine's caches level off.
    const guicount::Growth growth = guicount::MeasureGrowth(showAndClose, 3, 50, 100);
    std::printf("%sslowest notice: %lu ms\n", guicount::Describe(growth).c_str(), slowest);
    EXPECT_EQ(shown, 153);
    EXPECT_TRUE(guicount::LevelsOff(growth));

    // The same notices with one brush leaked on purpose in each fail the
    // check, over stretches this short.
    leakOne = true;
    EXPECT_FALSE(guicount::LevelsOff(guicount::MeasureGrowth(showAndClose, 0, 10, 20)));
    for (HBRUSH brush : leaked) ::DeleteObject(brush);
    ::DestroyIcon(icon);
}

TEST_F(ToastTest, GdiObjectCountSeesALeak) {
    // The counter above must be able to see a leak, or the test proves nothing.
    // So must the count by kind, which says what grows.
    const DWORD before = GdiObjects();
    const int brushes = guicount::GdiObjectsByType()["BRUSH"];
    HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(GdiObjects(), before + 1);
    EXPECT_EQ(guicount::GdiObjectsByType()["BRUSH"], brushes + 1);
    ::DeleteObject(brush);
    EXPECT_EQ(GdiObjects(), before);
}

} // namespace
