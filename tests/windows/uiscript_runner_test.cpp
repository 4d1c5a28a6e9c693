// The UI script runner against a real modal dialog of this process: the
// dialog runs on the test's main thread, the script on its own thread, as
// other test programs and the host simulator use it.

#include "tools/uiscript/runner.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kEdit = 101, kCheck = 102, kCombo = 103, kAsk = 104;
constexpr int kBoldCommand = 201, kPlainCommand = 202;

// What the dialog saw, read after it closed.
struct Seen {
    std::wstring editText;
    bool checked = false;
    int comboSelChanges = 0;
    int plainCommands = 0;
    int boldCommands = 0;
    bool boldChecked = false;
    int askAnswer = 0;
    std::vector<std::pair<wchar_t, bool>> chars;  // WM_CHAR in the edit, with Ctrl held?
    int result = 0;
};
Seen seen;
WNDPROC editProc = nullptr;

LRESULT CALLBACK EditSpy(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_CHAR) seen.chars.push_back({static_cast<wchar_t>(wp), ::GetKeyState(VK_CONTROL) < 0});
    return ::CallWindowProcW(editProc, w, m, wp, lp);
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: {
        HWND toolbar = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0, 0,
                                         dialog, reinterpret_cast<HMENU>(300), nullptr, nullptr);
        ::SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        TBBUTTON buttons[2] = {};
        buttons[0] = {I_IMAGENONE, kBoldCommand, TBSTATE_ENABLED, BTNS_CHECK, {}, 0, reinterpret_cast<INT_PTR>(L"B")};
        buttons[1] = {I_IMAGENONE, kPlainCommand, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, reinterpret_cast<INT_PTR>(L"P")};
        ::SendMessageW(toolbar, TB_ADDBUTTONSW, 2, reinterpret_cast<LPARAM>(buttons));
        HWND combo = ::GetDlgItem(dialog, kCombo);
        for (const wchar_t* entry : {L"zero", L"one", L"two"})
            ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
        editProc = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(::GetDlgItem(dialog, kEdit), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditSpy)));
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kCombo:
            if (HIWORD(wParam) == CBN_SELCHANGE) ++seen.comboSelChanges;
            return TRUE;
        case kPlainCommand: ++seen.plainCommands; return TRUE;
        case kBoldCommand:
            ++seen.boldCommands;
            seen.boldChecked = ::SendMessageW(::GetDlgItem(dialog, 300), TB_ISBUTTONCHECKED, kBoldCommand, 0) != 0;
            return TRUE;
        case kAsk: seen.askAnswer = ::MessageBoxW(dialog, L"Proceed?", L"Runner test", MB_YESNO | MB_ICONQUESTION); return TRUE;
        case IDOK:
        case IDCANCEL: {
            wchar_t text[256] = {};
            ::GetDlgItemTextW(dialog, kEdit, text, 256);
            seen.editText = text;
            seen.checked = ::IsDlgButtonChecked(dialog, kCheck) == BST_CHECKED;
            ::EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        }
        break;
    }
    return FALSE;
}

// An in-memory dialog template: DLGTEMPLATE, then each DLGITEMTEMPLATE on a
// DWORD boundary with its class atom, title and no creation data.
class TemplateBuilder {
public:
    TemplateBuilder(const wchar_t* caption, short cx, short cy) {
        DLGTEMPLATE t{};
        t.style = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
        t.cx = cx;
        t.cy = cy;
        Raw(&t, sizeof t);
        Word(0);  // menu
        Word(0);  // class
        Text(caption);
        Word(8);
        Text(L"MS Shell Dlg");
        count_ = reinterpret_cast<DLGTEMPLATE*>(data_.data());
    }
    void Item(WORD atom, int id, const wchar_t* title, DWORD style, short x, short y, short cx, short cy) {
        while (data_.size() % 4) data_.push_back(0);
        DLGITEMTEMPLATE item{};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x; item.y = y; item.cx = cx; item.cy = cy;
        item.id = static_cast<WORD>(id);
        Raw(&item, sizeof item);
        Word(0xFFFF);
        Word(atom);
        Text(title);
        Word(0);
        reinterpret_cast<DLGTEMPLATE*>(data_.data())->cdit++;
    }
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(data_.data()); }

private:
    void Raw(const void* p, size_t n) { auto b = static_cast<const BYTE*>(p); data_.insert(data_.end(), b, b + n); }
    void Word(WORD w) { Raw(&w, sizeof w); }
    void Text(const wchar_t* s) { Raw(s, (wcslen(s) + 1) * sizeof(wchar_t)); }
    std::vector<BYTE> data_;
    DLGTEMPLATE* count_ = nullptr;
};

struct RunnerTest : ::testing::Test {
    void SetUp() override {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        seen = Seen{};
    }

    // Runs the dialog modally while `script` answers it; the script's result.
    uiscript::Result RunDialog(const std::string& script, std::vector<uiscript::MessageBoxSeen>* boxes = nullptr) {
        TemplateBuilder dialog(L"Runner test dialog", 200, 120);
        dialog.Item(0x0081, kEdit, L"", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 10, 10, 120, 14);
        dialog.Item(0x0080, kCheck, L"Remember", BS_AUTOCHECKBOX | WS_TABSTOP, 10, 30, 80, 12);
        dialog.Item(0x0085, kCombo, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 10, 46, 80, 60);
        dialog.Item(0x0080, kAsk, L"Ask", BS_PUSHBUTTON | WS_TABSTOP, 100, 46, 40, 14);
        dialog.Item(0x0080, IDOK, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 100, 66, 40, 14);
        dialog.Item(0x0080, IDCANCEL, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, 150, 66, 40, 14);

        uiscript::Options options;
        options.timeoutMs = 5000;
        options.log = [](const std::string& line) { std::fprintf(stderr, "ui: %s\n", line.c_str()); };
        options.onMessageBox = [boxes](const uiscript::MessageBoxSeen& box) { if (boxes) boxes->push_back(box); };
        uiscript::ScriptThread thread(script, options);
        // A script that fails leaves the dialog open: close it so the test ends.
        std::thread closer([&thread] {
            thread.WaitFor(INFINITE);
            for (int i = 0; i < 100; ++i) {
                DWORD self = ::GetCurrentProcessId();
                HWND w = nullptr;
                while ((w = ::FindWindowExW(nullptr, w, L"#32770", nullptr))) {
                    DWORD pid = 0;
                    ::GetWindowThreadProcessId(w, &pid);
                    if (pid != self) continue;
                    ::PostMessageW(w, WM_COMMAND, IDNO, 0);  // a Yes/No box has no Cancel
                    ::PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
                }
                ::Sleep(50);
                if (seen.result) break;
            }
        });
        seen.result = static_cast<int>(::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog.Get(), nullptr, DialogProc, 0));
        auto result = thread.Join();
        closer.join();
        return result;
    }
};

TEST_F(RunnerTest, ControlsAreSetClickedAndReadBack) {
    auto result = RunDialog(R"(
wait "Runner test dialog"
expect caption "Runner test dialog"
set 101 "typed \"by\" script"
expect 101 text "typed \"by\" script"
check 102
expect 102 checked
uncheck 102
expect 102 unchecked
check 102
combo 103 2
expect 103 text "two"
expect 103 visible
expect 103 enabled
click 1
)");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(seen.result, IDOK);
    EXPECT_EQ(seen.editText, L"typed \"by\" script");
    EXPECT_TRUE(seen.checked);
    EXPECT_EQ(seen.comboSelChanges, 1);
}

TEST_F(RunnerTest, TypingAndCtrlKeysReachTheFocusedControlOnce) {
    auto result = RunDialog(R"(
wait "Runner test dialog"
focus 101
expect 101 focused
type "ab"
key Ctrl+B
type "c"
key Enter
)");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(seen.result, IDOK);  // Enter pressed the default button
    ASSERT_EQ(seen.chars.size(), 4u);
    EXPECT_EQ(seen.chars[0], std::make_pair(L'a', false));
    EXPECT_EQ(seen.chars[1], std::make_pair(L'b', false));
    EXPECT_EQ(seen.chars[2], std::make_pair(wchar_t(2), true));  // Ctrl+B: control code, Ctrl held
    EXPECT_EQ(seen.chars[3], std::make_pair(L'c', false));
}

TEST_F(RunnerTest, ToolbarButtonsArePressedByCommandId) {
    auto result = RunDialog(R"(
wait "Runner test dialog"
expect 201 unchecked
expect 202 enabled
click 201
expect 201 checked
click 202
click 202
click 201
expect 201 unchecked
key Escape
)");
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(seen.result, IDCANCEL);
    EXPECT_EQ(seen.plainCommands, 2);
    EXPECT_EQ(seen.boldCommands, 2);
    EXPECT_FALSE(seen.boldChecked);  // the handler saw the state the click left
}

TEST_F(RunnerTest, MessageBoxesAreReadAndAnswered) {
    std::vector<uiscript::MessageBoxSeen> boxes;
    auto result = RunDialog(R"(
wait "Runner test dialog"
click 104
answer no
click 104
answer yes
close
)", &boxes);
    ASSERT_TRUE(result.ok) << result.message;
    EXPECT_EQ(seen.askAnswer, IDYES);
    EXPECT_EQ(seen.result, IDCANCEL);  // the close box
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Runner test");
    EXPECT_EQ(boxes[0].text, "Proceed?");
    EXPECT_EQ(boxes[0].buttons, "yesno");
    EXPECT_EQ(boxes[0].answer, "no");
    EXPECT_EQ(boxes[1].answer, "yes");
}

TEST_F(RunnerTest, FailedStepsNameTheirLineAndNeverHang) {
    const struct { const char* script; int line; const char* fragment; } cases[] = {
        {"wait \"Runner test dialog\"\nexpect 101 text \"x\"\n", 2, "the text is \"\""},
        {"wait \"Runner test dialog\"\n\nclick 999\n", 3, "no control 999"},
        {"wait \"Runner test dialog\"\nanswer yes\n", 2, "no message box appeared"},
        {"wait \"Runner test dialog\"\nclick 104\nanswer ok\n", 3, "has no ok button"},
        {"# parse errors stop the script before it starts\nwait nothing\n", 2, "double quotes"},
    };
    for (const auto& c : cases) {
        seen = Seen{};
        auto result = RunDialog(c.script);
        EXPECT_FALSE(result.ok) << c.script;
        EXPECT_EQ(result.line, c.line) << c.script;
        EXPECT_NE(result.message.find(c.fragment), std::string::npos) << result.message;
        EXPECT_EQ(result.message.rfind("line " + std::to_string(c.line) + ":", 0), 0u) << result.message;
    }
}

TEST(RunnerWait, NoWindowFailsWithinTheLimit) {
    uiscript::Options options;
    options.timeoutMs = 300;
    const DWORD start = ::GetTickCount();
    auto result = uiscript::RunScript("waitclass \"NoSuchClass\"\n", options);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, 1);
    EXPECT_LT(::GetTickCount() - start, 3000u);
}

} // namespace
