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

// What a dialog hands back once it has closed.
struct Account {
    const char* userName;
    const char* password;
    const char* server;
    const char* endpoint;
    int remember;
};

template <class DialogClass>
void ExpectAccount(const DialogClass& dialog, const Account& expected) {
    EXPECT_EQ(Narrow(dialog.userName), expected.userName) << "user name";
    EXPECT_EQ(Narrow(dialog.password), expected.password) << "password";
    EXPECT_EQ(Narrow(dialog.server), expected.server) << "server";
    EXPECT_EQ(Narrow(dialog.endpoint), expected.endpoint) << "endpoint";
    EXPECT_EQ(dialog.remember, expected.remember) << "remember";
}

// The options dialog's account rows: the four boxes and their labels.
const std::initializer_list<const char*> kOptionsAccountRows = {
    "IDC_OPTIONS_LOGIN", "IDC_OPTIONS_PASSWORD", "IDC_OPTIONS_SERVER", "IDC_OPTIONS_ENDPOINT",
    "IDC_LOGIN_LABEL",   "IDC_PASSWORD_LABEL",   "IDC_SERVER_LABEL",   "IDC_ENDPOINT_LABEL",
};

// Script lines `expect ID STATE`, one for each of `ids`.
std::string ExpectEach(std::initializer_list<const char*> ids, const char* state) {
    std::string lines;
    for (const char* id : ids) lines += std::string("expect ") + id + " " + state + "\n";
    return lines;
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
expect IDC_AUTH_LOGIN focused
expect IDC_AUTH_LOGIN text ""
expect IDC_AUTH_PASSWORD text ""
expect IDC_AUTH_REMEMBER unchecked
expect IDC_AUTH_SERVER visible
expect IDC_AUTH_ENDPOINT visible
expect IDC_SERVER_LABEL visible
expect IDC_ENDPOINT_LABEL visible
set IDC_AUTH_LOGIN "ann"
set IDC_AUTH_PASSWORD "s3cret"
set IDC_AUTH_SERVER "https://example.org"
set IDC_AUTH_ENDPOINT "/xmlrpc.php"
check IDC_AUTH_REMEMBER
shot blog_auth_expanded
click IDOK
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK);
    ExpectAccount(dialog, {"ann", "s3cret", "https://example.org", "/xmlrpc.php", 1});
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
expect IDC_AUTH_SERVER hidden
expect IDC_AUTH_ENDPOINT hidden
expect IDC_SERVER_LABEL hidden
expect IDC_ENDPOINT_LABEL hidden
expect IDC_AUTH_REMEMBER visible
expect IDC_AUTH_LOGIN focused
set IDC_AUTH_LOGIN "ann"
set IDC_AUTH_PASSWORD "pw"
set IDC_AUTH_SERVER "hidden server"
set IDC_AUTH_ENDPOINT "hidden endpoint"
shot blog_auth_collapsed
key Enter
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK) << "Enter presses OK";
    ExpectAccount(dialog, {"ann", "pw", "", "", 0});

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
set IDC_AUTH_LOGIN "ann"
set IDC_AUTH_PASSWORD "pw"
check IDC_AUTH_REMEMBER
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
expect IDC_OPTIONS_ALWAYS checked
expect IDC_OPTIONS_PROMPT unchecked
expect IDC_OPTIONS_ALWAYS focused
expect IDC_OPTIONS_LOGIN text "ann"
expect IDC_OPTIONS_PASSWORD text "pw"
expect IDC_OPTIONS_SERVER text "https://example.org"
expect IDC_OPTIONS_ENDPOINT text "/xmlrpc.php"
)" + ExpectEach(kOptionsAccountRows, "enabled") + R"(
shot blog_options_stored_account
click IDC_OPTIONS_PROMPT
expect IDC_OPTIONS_PROMPT checked
expect IDC_OPTIONS_ALWAYS unchecked
)" + ExpectEach(kOptionsAccountRows, "disabled") + R"(
expect IDC_OPTIONS_LOGIN text "ann"
expect IDC_OPTIONS_ENDPOINT text "/xmlrpc.php"
shot blog_options_prompt_greyed
click IDOK
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK);
    // The disabled boxes' contents come back all the same.
    ExpectAccount(dialog, {"ann", "pw", "https://example.org", "/xmlrpc.php", 0});
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
expect IDC_OPTIONS_PROMPT checked
expect IDC_OPTIONS_ALWAYS unchecked
expect IDC_OPTIONS_PROMPT focused
expect IDC_OPTIONS_LOGIN text ""
expect IDC_OPTIONS_PASSWORD text ""
expect IDC_OPTIONS_ENDPOINT text ""
)" + ExpectEach({"IDC_OPTIONS_LOGIN", "IDC_OPTIONS_PASSWORD", "IDC_OPTIONS_SERVER", "IDC_OPTIONS_ENDPOINT",
                            "IDC_LOGIN_LABEL", "IDC_ENDPOINT_LABEL"}, "disabled") + R"(
shot blog_options_no_account
click IDC_OPTIONS_ALWAYS
expect IDC_OPTIONS_LOGIN enabled
expect IDC_OPTIONS_ENDPOINT enabled
expect IDC_SERVER_LABEL enabled
set IDC_OPTIONS_LOGIN "bob"
click IDOK
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDOK);
    ExpectAccount(dialog, {"bob", "", "", "", 1});
}

TEST(BlogOptionsDialog, CollapsedNeedsOnlyUserNameAndPassword) {
    Measured<BlogOptionsDlg> dialog(nullptr, kOptionsLayout);
    dialog.SetShowServerFields(false);
    dialog.SetValues(kCaption, u"ann", u"pw", u"", u"");
    uiscript::Result script;
    const INT_PTR ended = RunWithScript(dialog, R"(
wait "Velluma Login"
expect IDC_OPTIONS_ALWAYS checked
expect IDC_OPTIONS_ALWAYS focused
expect IDC_OPTIONS_LOGIN text "ann"
expect IDC_OPTIONS_LOGIN enabled
expect IDC_OPTIONS_SERVER hidden
expect IDC_OPTIONS_ENDPOINT hidden
expect IDC_SERVER_LABEL hidden
expect IDC_ENDPOINT_LABEL hidden
shot blog_options_collapsed
click IDC_OPTIONS_PROMPT
expect IDC_OPTIONS_LOGIN disabled
expect IDC_OPTIONS_PASSWORD disabled
click IDOK
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
expect IDC_OPTIONS_PROMPT checked
expect IDC_OPTIONS_PROMPT focused
)" + ExpectEach({"IDC_OPTIONS_LOGIN", "IDC_OPTIONS_PASSWORD", "IDC_OPTIONS_SERVER", "IDC_OPTIONS_ENDPOINT",
                            "IDC_SERVER_LABEL"}, "disabled") + R"(
key Escape
)", script);
    ASSERT_TRUE(script.ok) << script.message;
    EXPECT_EQ(ended, IDCANCEL);
}
