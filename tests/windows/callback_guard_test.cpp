// What a handler's exception does at the edge of our dialog, frame window and
// subclass procedures: a message box (the application name, the exclamation
// icon, a short text), the message's default result, and a window that goes
// on working. Dialogs run modally on the test's thread while a second thread
// answers them (ui_driver.h); frame windows are sent their messages here.

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/frame_window.h"
#include "framework/message_routes.h"
#include "framework/module.h"
#include "framework/string_ids.h"
#include "framework/strings.h"
#include "resources/resource.h"
#include "ui_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <new>
#include <stdexcept>
#include <utility>

namespace {

std::wstring Wide(const core::String& text) { return std::wstring(text.begin(), text.end()); }

enum class Throw { Nothing, BadAlloc, StdError, OtherValue };

void Raise(Throw what) {
    switch (what) {
    case Throw::Nothing: return;
    case Throw::BadAlloc: throw std::bad_alloc();
    case Throw::StdError: throw std::runtime_error("the handler failed");
    case Throw::OtherValue: throw 42;
    }
}

// The icon a message box shows (its SS_ICON static), or null.
HICON IconOf(HWND box) {
    HICON icon = nullptr;
    ::EnumChildWindows(
        box,
        [](HWND child, LPARAM param) -> BOOL {
            if (ui::ClassOf(child) == L"Static" && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
                *reinterpret_cast<HICON*>(param) = reinterpret_cast<HICON>(::SendMessageW(child, STM_GETICON, 0, 0));
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&icon));
    return icon;
}

// Message boxes of `thread` that are up now.
int OpenBoxes(DWORD thread) {
    struct Count { std::wstring caption; int n; } count{Wide(fw::AppName()), 0};
    ::EnumThreadWindows(
        thread,
        [](HWND window, LPARAM param) -> BOOL {
            auto* c = reinterpret_cast<Count*>(param);
            if (::IsWindowVisible(window) && ui::ClassOf(window) == L"#32770" && ui::TextOf(window) == c->caption) ++c->n;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&count));
    return count.n;
}

struct BoxSeen {
    bool shown = false;
    std::wstring text;
    bool exclamation = false;
};

// Waits for the failure's message box on `thread`, reads it and answers OK.
BoxSeen AnswerFailureBox(DWORD thread) {
    BoxSeen seen;
    // Bounded, with room for a loaded machine: a box that never comes fails
    // the case instead of hanging it.
    HWND box = ui::WaitForDialog(thread, Wide(fw::AppName()), 30000);
    if (!box) return seen;
    seen.shown = true;
    seen.text = ui::MessageText(box);
    seen.exclamation = IconOf(box) == ::LoadIconW(nullptr, IDI_EXCLAMATION);
    ui::Answer(box, IDOK);
    ui::WaitGone(box);
    return seen;
}

std::wstring FailureText(Throw what) {
    return Wide(fw::LoadResourceString(what == Throw::BadAlloc ? IDS_CALLBACK_OUT_OF_MEMORY : IDS_CALLBACK_UNEXPECTED));
}

// ---------------------------------------------------------------------------
// Dialogs.

// An edit control whose own handling of WM_GETTEXTLENGTH can be made to fail once.
class FailingEdit : public fw::SubclassedControl {
public:
    std::atomic<Throw> fail{Throw::Nothing};  // set by the driving thread

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_GETTEXTLENGTH) Raise(fail.exchange(Throw::Nothing));
        return DefaultProc(message, wParam, lParam);
    }
};

// The link dialog's template with handlers that fail once when told to.
class FailingDialog : public fw::Dialog {
public:
    static constexpr LRESULT kOwnLength = 99;  // what the dialog's own WM_GETTEXTLENGTH handler answers

    FailingDialog() : Dialog(IDD_CREATE_LINK, nullptr) {
        Bind(IDC_LINK_URL_TEXT, edit);
        OnCommandCode(IDC_LINK_URL_RADIO, BN_CLICKED, [this] {
            Raise(failCommand.exchange(Throw::Nothing));
            ++commands;
        });
        OnMessage(WM_GETTEXTLENGTH, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
            Raise(failMessage.exchange(Throw::Nothing));
            return kOwnLength;
        });
    }

    // Armed by the driving thread, each for one failure.
    Throw failInit = Throw::Nothing;
    std::atomic<Throw> failCommand{Throw::Nothing};
    std::atomic<Throw> failMessage{Throw::Nothing};
    FailingEdit edit;
    std::atomic<int> commands{0};
    std::wstring textOnOk;

protected:
    bool OnInitDialog() override {
        Raise(failInit);
        return true;
    }
    void OnOK() override {
        textOnOk = Wide(ItemText(IDC_LINK_URL_TEXT));
        EndDialog(IDOK);
    }
};

enum class Where { CommandHandler, MessageHandler, SubclassedControl };

struct DialogCase {
    const char* name;
    Where where;
    Throw what;
};

const DialogCase kDialogCases[] = {
    {"allocation failure in a command handler", Where::CommandHandler, Throw::BadAlloc},
    {"standard exception in a message handler", Where::MessageHandler, Throw::StdError},
    {"other thrown value in a subclassed control", Where::SubclassedControl, Throw::OtherValue},
    {"allocation failure in a subclassed control", Where::SubclassedControl, Throw::BadAlloc},
};

TEST(CallbackGuard, DialogHandlerFailureEndsInAMessageBoxAndTheDialogGoesOn) {
    for (const DialogCase& c : kDialogCases) {
        SCOPED_TRACE(c.name);
        FailingDialog dialog;
        BoxSeen box;
        LRESULT failedResult = -1, laterResult = -1;
        const INT_PTR ended = ui::Drive<INT_PTR>([&] { return dialog.DoModal(); }, [&](DWORD thread) {
            HWND window = ui::WaitForDialog(thread, L"Create Link");
            ASSERT_NE(window, nullptr);
            HWND edit = ::GetDlgItem(window, IDC_LINK_URL_TEXT);
            ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"abc"));
            // The message that fails is sent from a third thread: its sender
            // waits until the box is answered.
            HWND target = c.where == Where::SubclassedControl ? edit : window;
            // Bounded too: should the box never be answered, the sender gives
            // up and the case fails on its result rather than hanging.
            auto lengthOf = [target] {
                DWORD_PTR length = 0;
                if (!::SendMessageTimeoutW(target, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 60000, &length)) return LRESULT(-1);
                return static_cast<LRESULT>(length);
            };
            switch (c.where) {
            case Where::CommandHandler:
                dialog.failCommand = c.what;
                ui::Click(window, IDC_LINK_URL_RADIO);
                box = AnswerFailureBox(thread);
                break;
            case Where::MessageHandler:
            case Where::SubclassedControl: {
                if (c.where == Where::MessageHandler) dialog.failMessage = c.what;
                else dialog.edit.fail = c.what;
                auto pending = std::async(std::launch::async, lengthOf);
                box = AnswerFailureBox(thread);
                failedResult = pending.get();
                break;
            }
            }
            // Usable afterwards: the same handler runs again, and OK reads the dialog.
            laterResult = lengthOf();
            if (c.where == Where::CommandHandler) {
                ui::Click(window, IDC_LINK_URL_RADIO);
                for (int i = 0; i < 100 && dialog.commands == 0; ++i) ::Sleep(10);
            }
            ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"after"));
            ui::Click(window, IDOK);
            EXPECT_TRUE(ui::WaitGone(window));
        });

        EXPECT_TRUE(box.shown);
        EXPECT_EQ(box.text, FailureText(c.what));
        EXPECT_FALSE(box.text.empty());
        EXPECT_TRUE(box.exclamation);
        EXPECT_EQ(ended, IDOK);
        EXPECT_EQ(dialog.textOnOk, L"after");
        switch (c.where) {
        case Where::CommandHandler:
            EXPECT_EQ(dialog.commands, 1) << "the failed click counted nothing, the next one did";
            break;
        case Where::MessageHandler:
            // The system's handling answered the failed message: the caption's length.
            EXPECT_EQ(failedResult, static_cast<LRESULT>(std::wstring(L"Create Link").size()));
            EXPECT_EQ(laterResult, FailingDialog::kOwnLength);
            break;
        case Where::SubclassedControl:
            EXPECT_EQ(failedResult, 3) << "the edit's own handling answered";
            EXPECT_EQ(laterResult, 3);
            break;
        }
    }
}

TEST(CallbackGuard, DialogWhoseInitialisationFailsIsCancelledAfterTheMessage) {
    FailingDialog dialog;
    dialog.failInit = Throw::BadAlloc;
    BoxSeen box;
    const INT_PTR ended = ui::Drive<INT_PTR>([&] { return dialog.DoModal(); },
                                             [&](DWORD thread) { box = AnswerFailureBox(thread); });
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(box.text, FailureText(Throw::BadAlloc));
    EXPECT_EQ(ended, IDCANCEL);
    EXPECT_EQ(dialog.Hwnd(), nullptr);
}

// ---------------------------------------------------------------------------
// Frame windows.

constexpr wchar_t kFrameClass[] = L"VellumaGuardTestFrame";
constexpr wchar_t kFrameTitle[] = L"Guarded frame";

class FailingFrame : public fw::FrameWindow {
public:
    static constexpr LRESULT kOwnLength = 77;
    static constexpr UINT_PTR kTimer = 5;

    explicit FailingFrame(bool* deleted) : deleted_(deleted) {
        OnMessage(WM_GETTEXTLENGTH, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
            Raise(std::exchange(failMessage, Throw::Nothing));
            return kOwnLength;
        });
        OnMessage(WM_TIMER, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
            if (failingTicks > 0) {
                --failingTicks;
                throw std::runtime_error("this tick fails");
            }
            ++goodTicks;
            return 0;
        });
        RegisterWindowClass(kFrameClass, 0, ::LoadCursorW(nullptr, IDC_ARROW), reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
        Create(kFrameClass, WS_EX_TOOLWINDOW, WS_POPUP, RECT{0, 0, 120, 40}, nullptr, u"Guarded frame");
    }
    ~FailingFrame() override { *deleted_ = true; }

    Throw failMessage = Throw::Nothing;
    std::atomic<int> failingTicks{0};  // the next so many timer ticks fail
    std::atomic<int> goodTicks{0};

private:
    bool* deleted_;
};

// Dispatches this thread's messages until `done` or thirty seconds.
template <class Done>
bool PumpUntil(Done done) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > 30000) return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

TEST(CallbackGuard, FrameHandlerFailureEndsInAMessageBoxWithTheDefaultResult) {
    for (Throw what : {Throw::BadAlloc, Throw::StdError, Throw::OtherValue}) {
        SCOPED_TRACE(static_cast<int>(what));
        bool deleted = false;
        auto* frame = new FailingFrame(&deleted);
        HWND window = frame->Hwnd();
        ASSERT_NE(window, nullptr);
        frame->failMessage = what;
        BoxSeen box;
        const LRESULT failed = ui::Drive<LRESULT>([&] { return ::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0); },
                                                  [&](DWORD thread) { box = AnswerFailureBox(thread); });
        EXPECT_TRUE(box.shown);
        EXPECT_EQ(box.text, FailureText(what));
        EXPECT_TRUE(box.exclamation);
        EXPECT_EQ(failed, static_cast<LRESULT>(std::wstring(kFrameTitle).size())) << "DefWindowProc's answer";
        EXPECT_EQ(::SendMessageW(window, WM_GETTEXTLENGTH, 0, 0), FailingFrame::kOwnLength) << "the handler runs again";
        ::DestroyWindow(window);
        EXPECT_TRUE(deleted) << "the object still goes with its window";
    }
}

TEST(CallbackGuard, FailuresWhileTheMessageIsUpShowNoSecondBox) {
    // A notice's timers keep firing inside the box's modal loop; each tick
    // that fails again must not stack up another box.
    bool deleted = false;
    auto* frame = new FailingFrame(&deleted);
    HWND window = frame->Hwnd();
    frame->failingTicks = 5;
    ::SetTimer(window, FailingFrame::kTimer, 10, nullptr);
    int mostBoxes = 0;
    int goodTicksUnderTheBox = 0;
    BoxSeen box;
    ui::Drive<bool>([&] { return PumpUntil([&] { return frame->failingTicks == 0 && frame->goodTicks > 0; }); },
                    [&](DWORD thread) {
                        if (!ui::WaitForDialog(thread, Wide(fw::AppName()), 30000)) return;
                        // The other failing ticks come and go while the first box is up.
                        for (int i = 0; i < 100 && (frame->failingTicks > 0 || frame->goodTicks == 0); ++i) {
                            mostBoxes = std::max(mostBoxes, OpenBoxes(thread));
                            ::Sleep(10);
                        }
                        mostBoxes = std::max(mostBoxes, OpenBoxes(thread));
                        goodTicksUnderTheBox = frame->goodTicks;
                        box = AnswerFailureBox(thread);
                    });
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(mostBoxes, 1);
    EXPECT_EQ(frame->failingTicks, 0);
    EXPECT_GT(goodTicksUnderTheBox, 0) << "the window works on while the box is up";
    ::DestroyWindow(window);
    EXPECT_TRUE(deleted);
}

TEST(CallbackGuard, FrameWindowHoldsAModuleLockWhileItsWindowExists) {
    const LONG before = fw::ModuleLock::Count();
    bool deleted = false;
    auto* frame = new FailingFrame(&deleted);
    EXPECT_EQ(fw::ModuleLock::Count(), before + 1);
    ::DestroyWindow(frame->Hwnd());
    EXPECT_TRUE(deleted);
    EXPECT_EQ(fw::ModuleLock::Count(), before);

    // Deleting the object first destroys its window and gives the lock back too.
    frame = new FailingFrame(&deleted);
    HWND window = frame->Hwnd();
    EXPECT_EQ(fw::ModuleLock::Count(), before + 1);
    delete frame;
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(fw::ModuleLock::Count(), before);
}

// ---------------------------------------------------------------------------
// The routing both share: a handler that returns nothing passes the message on.

TEST(MessageRouting, DecliningHandlersPassTheMessageOnToTheNextEntryAndThenTheDefault) {
    fw::MessageRoutes routes;
    std::vector<std::string> calls;
    routes.OnMessage(WM_COMMAND, [&](WPARAM, LPARAM) -> std::optional<LRESULT> {
        calls.push_back("message");
        return std::nullopt;
    });
    routes.OnCommandCode(7, EN_CHANGE, [&] { calls.push_back("code"); });
    routes.OnCommand(7, [&] { calls.push_back("any code"); });
    routes.OnNotify(9, NM_CLICK, [&](NMHDR&) -> std::optional<LRESULT> {
        calls.push_back("notify declines");
        return std::nullopt;
    });
    routes.OnNotifyRange(NM_CLICK, 5, 10, [&](NMHDR&) -> std::optional<LRESULT> {
        calls.push_back("range");
        return 3;
    });

    EXPECT_EQ(routes.Route(WM_COMMAND, MAKEWPARAM(7, BN_CLICKED), 0), LRESULT{0});
    EXPECT_EQ(calls, (std::vector<std::string>{"message", "any code"}));
    calls.clear();
    EXPECT_EQ(routes.Route(WM_COMMAND, MAKEWPARAM(7, EN_CHANGE), 0), LRESULT{0});
    EXPECT_EQ(calls, (std::vector<std::string>{"message", "code"}));
    calls.clear();
    EXPECT_EQ(routes.Route(WM_COMMAND, MAKEWPARAM(8, BN_CLICKED), 0), std::nullopt) << "no entry: default handling";

    NMHDR header{nullptr, 9, static_cast<UINT>(NM_CLICK)};
    calls.clear();
    EXPECT_EQ(routes.Route(WM_NOTIFY, 9, reinterpret_cast<LPARAM>(&header)), LRESULT{3});
    EXPECT_EQ(calls, (std::vector<std::string>{"notify declines", "range"}));
    header.idFrom = 11;
    calls.clear();
    EXPECT_EQ(routes.Route(WM_NOTIFY, 11, reinterpret_cast<LPARAM>(&header)), std::nullopt);
    EXPECT_TRUE(calls.empty());
}

} // namespace
