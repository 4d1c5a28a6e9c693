// The log-in and options dialogs, run modally on this thread while a UI
// script answers them from another. Each state is photographed into
// build/windows/screenshots/ for people to look at.

#include "account/blog_auth.h"
#include "account/blog_options_dlg.h"
#include "framework/wide.h"
#include "resources/resource.h"
#include "tools/uiscript/runner.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <ostream>
#include <string>

using core::String;

namespace {

constexpr char16_t kCaption[] = u"Velluma Login";

std::string Narrow(const String& text) {
    return core::ToUtf8(text);
}

std::wstring ScreenshotFolder() {
    // The test runs from build/windows/bin; the pictures go beside it.
    wchar_t path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    for (int up = 0; up < 2; ++up) folder.erase(folder.find_last_of(L"\\/"));
    return folder + L"\\screenshots";
}

// A rectangle as x, y, width, height.
struct Box {
    long x, y, width, height;
    bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& box) {
    return out << box.x << "," << box.y << " " << box.width << "x" << box.height;
}

// The template's rectangle of each control, in dialog units.
using Layout = std::map<int, Box>;

const Layout kAuthLayout = {
    {IDC_AUTH_LOGIN, {88, 18, 103, 12}},     {IDC_AUTH_PASSWORD, {88, 32, 103, 12}},
    {IDC_AUTH_SERVER, {88, 46, 103, 12}},    {IDC_AUTH_ENDPOINT, {88, 60, 103, 12}},
    {IDC_AUTH_REMEMBER, {8, 86, 136, 8}},    {IDOK, {112, 102, 45, 14}},
    {IDCANCEL, {159, 102, 45, 14}},          {IDC_LOGIN_LABEL, {15, 21, 65, 11}},
    {IDC_PASSWORD_LABEL, {16, 34, 68, 11}},  {IDC_LOGIN_GROUP, {8, 7, 196, 73}},
    {IDC_SERVER_LABEL, {16, 48, 68, 11}},    {IDC_ENDPOINT_LABEL, {15, 62, 65, 11}},
};

const Layout kOptionsLayout = {
    {IDC_OPTIONS_PROMPT, {12, 17, 143, 10}}, {IDC_OPTIONS_ALWAYS, {12, 28, 122, 10}},
    {IDC_OPTIONS_LOGIN, {84, 42, 138, 12}},  {IDC_OPTIONS_PASSWORD, {84, 56, 138, 12}},
    {IDC_OPTIONS_SERVER, {84, 70, 138, 12}}, {IDC_OPTIONS_ENDPOINT, {84, 84, 138, 12}},
    {IDOK, {141, 115, 44, 14}},              {IDCANCEL, {187, 115, 44, 14}},
    {IDC_LOGIN_GROUP, {6, 4, 226, 100}},     {IDC_LOGIN_LABEL, {23, 44, 38, 8}},
    {IDC_PASSWORD_LABEL, {23, 59, 34, 8}},   {IDC_SERVER_LABEL, {23, 72, 25, 8}},
    {IDC_ENDPOINT_LABEL, {23, 87, 32, 8}},
};

// What a dialog looked like right after its initialisation: each control's
// rectangle in pixels as the template puts it (dialog units mapped the way
// the dialog manager maps them) and as it stands after the dialog's own
// initialisation, and the window's size before and after.
struct Geometry {
    std::map<int, Box> fromTemplate;
    std::map<int, Box> placed;
    SIZE windowBefore{}, windowAfter{};
};

SIZE WindowSize(HWND window) {
    RECT rect{};
    ::GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void Measure(HWND dialog, const Layout& layout, Geometry& geometry, bool before) {
    for (const auto& [id, units] : layout) {
        if (before) {
            // MapDialogRect maps each of the four numbers on its own, as the
            // dialog manager maps a control's position and size.
            RECT mapped{units.x, units.y, units.width, units.height};
            ::MapDialogRect(dialog, &mapped);
            geometry.fromTemplate[id] = {mapped.left, mapped.top, mapped.right, mapped.bottom};
        } else {
            RECT rect{};
            ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
            ::MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
            geometry.placed[id] = {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
        }
    }
    (before ? geometry.windowBefore : geometry.windowAfter) = WindowSize(dialog);
}

template <class DialogClass>
class Measured : public DialogClass {
public:
    Measured(HWND owner, const Layout& layout) : DialogClass(owner), layout_(layout) {}
    Geometry geometry;

protected:
    bool OnInitDialog() override {
        Measure(this->Hwnd(), layout_, geometry, true);
        const bool result = DialogClass::OnInitDialog();
        Measure(this->Hwnd(), layout_, geometry, false);
        return result;
    }

private:
    const Layout& layout_;
};

// The dialog being run and the script answering it; a thread timer that the
// modal loop dispatches cancels the dialog once the script has ended, so a
// failed script never leaves the test hanging in DoModal.
struct Run {
    fw::Dialog* dialog = nullptr;
    uiscript::ScriptThread* script = nullptr;
};
Run gRun;

void CALLBACK Watchdog(HWND, UINT, UINT_PTR, DWORD) {
    if (gRun.script && gRun.script->WaitFor(0) && gRun.dialog && gRun.dialog->Hwnd()) {
        // Give a closing click a moment to be handled before we step in.
        ::Sleep(200);
        if (gRun.dialog->Hwnd()) ::PostMessageW(gRun.dialog->Hwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

// Runs `dialog` modally while `script` answers it; returns DoModal's result.
INT_PTR RunWithScript(fw::Dialog& dialog, const std::string& script, uiscript::Result& result) {
    uiscript::Options options;
    options.timeoutMs = 10000;
    options.screenshotFolder = ScreenshotFolder();
    uiscript::ScriptThread thread(script, options);
    gRun = {&dialog, &thread};
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 250, Watchdog);
    const INT_PTR ended = dialog.DoModal();
    ::KillTimer(nullptr, timer);
    // The script's last step may still be waiting for this thread to take a
    // message; keep the queue moving until it ends (bounded all the same).
    const DWORD start = ::GetTickCount();
    while (!thread.WaitFor(0) && ::GetTickCount() - start < 30000) {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    result = thread.Join();
    gRun = {};
    return ended;
}

// Each control where the template puts it, less `up` pixels for `moved`;
// the group box shorter by `up`, the window shorter by `up`.
void ExpectCollapsedBy(const Geometry& g, long up, std::initializer_list<int> moved) {
    for (const auto& [id, mapped] : g.fromTemplate) {
        Box expected = mapped;
        for (int m : moved) if (m == id) expected.y -= up;
        if (id == IDC_LOGIN_GROUP) expected.height -= up;
        EXPECT_EQ(g.placed.at(id), expected) << "control " << id;
    }
    EXPECT_EQ(g.windowAfter.cx, g.windowBefore.cx);
    EXPECT_EQ(g.windowAfter.cy, g.windowBefore.cy - up);
}

// Endpoint bottom less password bottom, in pixels, from the template.
long TwoRows(const Geometry& g, int passwordId, int endpointId) {
    const Box& password = g.fromTemplate.at(passwordId);
    const Box& endpoint = g.fromTemplate.at(endpointId);
    return (endpoint.y + endpoint.height) - (password.y + password.height);
}

} // namespace

TEST(BlogAuthDialog, ExpandedShowsEveryRowAndReturnsAllFour) {
    Measured<BlogAuth> dialog(nullptr, kAuthLayout);
    dialog.SetCaption(kCaption);
    dialog.SetShowServerFields(true);
    uiscript::Result script;
    const INT_PTR ended = RunWithScript(dialog, R"(
wait "Velluma Login"
expect caption "Velluma Login"
expect 216 focused
expect 216 text ""
expect 217 text ""
expect 1006 unchecked
expect 219 visible
expect 218 visible
expect 1001 visible
expect 1002 visible
set 216 "ann"
set 217 "s3cret"
set 219 "https://example.org"
set 218 "/xmlrpc.php"
check 1006
shot blog_auth_expanded
click 1
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK);
    EXPECT_EQ(Narrow(dialog.userName), "ann");
    EXPECT_EQ(Narrow(dialog.password), "s3cret");
    EXPECT_EQ(Narrow(dialog.server), "https://example.org");
    EXPECT_EQ(Narrow(dialog.endpoint), "/xmlrpc.php");
    EXPECT_EQ(dialog.remember, 1);
    EXPECT_EQ(dialog.collapseHeight, 0);
    ExpectCollapsedBy(dialog.geometry, 0, {});
}

TEST(BlogAuthDialog, CollapsedHidesServerRowsAndReturnsThemEmpty) {
    Measured<BlogAuth> dialog(nullptr, kAuthLayout);
    dialog.SetCaption(kCaption);
    dialog.SetShowServerFields(false);
    uiscript::Result script;
    const INT_PTR ended = RunWithScript(dialog, R"(
wait "Velluma Login"
expect 219 hidden
expect 218 hidden
expect 1001 hidden
expect 1002 hidden
expect 1006 visible
expect 216 focused
set 216 "ann"
set 217 "pw"
set 219 "hidden server"
set 218 "hidden endpoint"
shot blog_auth_collapsed
key Enter
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK) << "Enter presses OK";
    EXPECT_EQ(Narrow(dialog.userName), "ann");
    EXPECT_EQ(Narrow(dialog.password), "pw");
    EXPECT_EQ(Narrow(dialog.server), "");
    EXPECT_EQ(Narrow(dialog.endpoint), "");
    EXPECT_EQ(dialog.remember, 0);

    const long up = TwoRows(dialog.geometry, IDC_AUTH_PASSWORD, IDC_AUTH_ENDPOINT);
    EXPECT_GT(up, 0);
    EXPECT_EQ(dialog.collapseHeight, up);
    ExpectCollapsedBy(dialog.geometry, up, {IDC_AUTH_REMEMBER, IDOK, IDCANCEL});
}

TEST(BlogAuthDialog, EscapeCancelsAndTakesNothing) {
    BlogAuth dialog(nullptr);
    dialog.SetCaption(kCaption);
    uiscript::Result script;
    const INT_PTR ended = RunWithScript(dialog, R"(
wait "Velluma Login"
set 216 "ann"
set 217 "pw"
check 1006
key Escape
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDCANCEL);
    EXPECT_EQ(Narrow(dialog.userName), "");
    EXPECT_EQ(Narrow(dialog.password), "");
    EXPECT_EQ(dialog.remember, 0);
}

TEST(BlogOptionsDialog, StoredAccountOpensOnAlwaysAndPromptGreysWithoutClearing) {
    Measured<BlogOptionsDlg> dialog(nullptr, kOptionsLayout);
    dialog.SetShowServerFields(true);
    dialog.SetValues(kCaption, u"ann", u"pw", u"https://example.org", u"/xmlrpc.php");
    uiscript::Result script;
    const INT_PTR ended = RunWithScript(dialog, R"(
wait "Velluma Login"
expect 406 checked
expect 407 unchecked
expect 406 focused
expect 408 text "ann"
expect 405 text "pw"
expect 1009 text "https://example.org"
expect 1010 text "/xmlrpc.php"
expect 408 enabled
expect 405 enabled
expect 1009 enabled
expect 1010 enabled
expect 1030 enabled
expect 1029 enabled
expect 1001 enabled
expect 1002 enabled
shot blog_options_stored_account
click 407
expect 407 checked
expect 406 unchecked
expect 408 disabled
expect 405 disabled
expect 1009 disabled
expect 1010 disabled
expect 1030 disabled
expect 1029 disabled
expect 1001 disabled
expect 1002 disabled
expect 408 text "ann"
expect 1010 text "/xmlrpc.php"
shot blog_options_prompt_greyed
click 1
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK);
    EXPECT_EQ(dialog.remember, 0);
    // The disabled boxes' contents come back all the same.
    EXPECT_EQ(Narrow(dialog.userName), "ann");
    EXPECT_EQ(Narrow(dialog.password), "pw");
    EXPECT_EQ(Narrow(dialog.server), "https://example.org");
    EXPECT_EQ(Narrow(dialog.endpoint), "/xmlrpc.php");
    ExpectCollapsedBy(dialog.geometry, 0, {});
}

TEST(BlogOptionsDialog, IncompleteAccountOpensOnPromptWithEmptyDisabledBoxes) {
    BlogOptionsDlg dialog(nullptr);
    dialog.SetShowServerFields(true);
    // User name and password, but no server: not shown at all.
    dialog.SetValues(kCaption, u"ann", u"pw", u"", u"/xmlrpc.php");
    uiscript::Result script;
    const INT_PTR ended = RunWithScript(dialog, R"(
wait "Velluma Login"
expect 407 checked
expect 406 unchecked
expect 407 focused
expect 408 text ""
expect 405 text ""
expect 1010 text ""
expect 408 disabled
expect 405 disabled
expect 1009 disabled
expect 1010 disabled
expect 1030 disabled
expect 1002 disabled
shot blog_options_no_account
click 406
expect 408 enabled
expect 1010 enabled
expect 1001 enabled
set 408 "bob"
click 1
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK);
    EXPECT_EQ(dialog.remember, 1);
    EXPECT_EQ(Narrow(dialog.userName), "bob");
    EXPECT_EQ(Narrow(dialog.password), "");
    EXPECT_EQ(Narrow(dialog.server), "");
    EXPECT_EQ(Narrow(dialog.endpoint), "");
}

TEST(BlogOptionsDialog, CollapsedNeedsOnlyUserNameAndPassword) {
    Measured<BlogOptionsDlg> dialog(nullptr, kOptionsLayout);
    dialog.SetShowServerFields(false);
    dialog.SetValues(kCaption, u"ann", u"pw", u"", u"");
    uiscript::Result script;
    const INT_PTR ended = RunWithScript(dialog, R"(
wait "Velluma Login"
expect 406 checked
expect 406 focused
expect 408 text "ann"
expect 408 enabled
expect 1009 hidden
expect 1010 hidden
expect 1001 hidden
expect 1002 hidden
shot blog_options_collapsed
click 407
expect 408 disabled
expect 405 disabled
click 1
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK);
    EXPECT_EQ(dialog.remember, 0);
    EXPECT_EQ(Narrow(dialog.userName), "ann");
    EXPECT_EQ(Narrow(dialog.password), "pw");

    const long up = TwoRows(dialog.geometry, IDC_OPTIONS_PASSWORD, IDC_OPTIONS_ENDPOINT);
    EXPECT_GT(up, 0);
    ExpectCollapsedBy(dialog.geometry, up, {IDOK, IDCANCEL});
}

TEST(BlogOptionsDialog, CollapsedWithoutAccountDisablesTheHiddenRowsToo) {
    BlogOptionsDlg dialog(nullptr);
    dialog.SetShowServerFields(false);
    dialog.SetCaption(kCaption);
    uiscript::Result script;
    const INT_PTR ended = RunWithScript(dialog, R"(
wait "Velluma Login"
expect 407 checked
expect 407 focused
expect 408 disabled
expect 405 disabled
expect 1009 disabled
expect 1010 disabled
expect 1001 disabled
key Escape
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDCANCEL);
}
