// The Create Link dialog driven from a second thread: what it shows, where the
// focus goes, and what it hands back on OK and Cancel.
#include "editor/link_dialog.h"
#include "resources/resource.h"
#include "dialog_driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <map>

using testui::DialogDriver;

namespace {

struct Seen {
    std::map<int, bool> enabled;
    std::map<int, std::wstring> text;
    int focus = 0;
    bool urlChecked = false;
    bool emailChecked = false;
};

const int kEmailGroup[] = {IDC_LINK_EMAIL_TEXT_LABEL, IDC_LINK_EMAIL_ADDRESS_LABEL, IDC_LINK_SUBJECT_LABEL,
                           IDC_LINK_EMAIL_TEXT, IDC_LINK_EMAIL_ADDRESS, IDC_LINK_SUBJECT};
const int kUrlGroup[] = {IDC_LINK_URL_TEXT_LABEL, IDC_LINK_URL_ADDRESS_LABEL, IDC_LINK_URL_TEXT, IDC_LINK_URL_ADDRESS};

void Look(HWND dialog, DWORD uiThread, Seen& seen) {
    for (int id : kEmailGroup) seen.enabled[id] = ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE;
    for (int id : kUrlGroup) seen.enabled[id] = ::IsWindowEnabled(::GetDlgItem(dialog, id)) != FALSE;
    for (int id : {IDC_LINK_URL_TEXT, IDC_LINK_URL_ADDRESS, IDC_LINK_EMAIL_TEXT}) seen.text[id] = testui::TextOf(::GetDlgItem(dialog, id));
    seen.focus = ::GetDlgCtrlID(testui::FocusOf(uiThread));
    seen.urlChecked = ::SendMessageW(::GetDlgItem(dialog, IDC_LINK_URL_RADIO), BM_GETCHECK, 0, 0) == BST_CHECKED;
    seen.emailChecked = ::SendMessageW(::GetDlgItem(dialog, IDC_LINK_EMAIL_RADIO), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Click(HWND dialog, int id) { ::SendMessageW(::GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
void Type(HWND dialog, int id, const std::wstring& text) { testui::SetTextOf(::GetDlgItem(dialog, id), text); }

class LinkDialogTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&init);
    }
};

} // namespace

TEST_F(LinkDialogTest, ProposedTextFillsBothDisplayEditsAndFocusesTheAddress) {
    CLinkDialog dialog;
    dialog.displayText = u"Home";
    dialog.address = u"example.org";
    Seen seen;
    DialogDriver driver(L"Create Link", [&](HWND d) { Look(d, ::GetWindowThreadProcessId(d, nullptr), seen); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    driver.Join();
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(seen.urlChecked);
    for (int id : kEmailGroup) EXPECT_FALSE(seen.enabled[id]) << id;
    for (int id : kUrlGroup) EXPECT_TRUE(seen.enabled[id]) << id;
    EXPECT_EQ(seen.text[IDC_LINK_URL_TEXT], L"Home");
    EXPECT_EQ(seen.text[IDC_LINK_EMAIL_TEXT], L"Home");
    EXPECT_EQ(seen.text[IDC_LINK_URL_ADDRESS], L"example.org");
    EXPECT_EQ(seen.focus, IDC_LINK_URL_ADDRESS);
}

TEST_F(LinkDialogTest, NothingProposedFocusesTheDisplayEdit) {
    CLinkDialog dialog;
    Seen seen;
    DialogDriver driver(L"Create Link", [&](HWND d) { Look(d, ::GetWindowThreadProcessId(d, nullptr), seen); });
    dialog.DoModal();
    driver.Join();
    ASSERT_TRUE(driver.Found());
    EXPECT_EQ(seen.focus, IDC_LINK_URL_TEXT);
}

TEST_F(LinkDialogTest, SwitchingTypesMovesEnablingAndFocus) {
    CLinkDialog dialog;
    Seen toEmptyEmail, toFilledEmail, backToUrl;
    DialogDriver driver(L"Create Link", [&](HWND d) {
        const DWORD ui = ::GetWindowThreadProcessId(d, nullptr);
        Click(d, IDC_LINK_EMAIL_RADIO);
        Look(d, ui, toEmptyEmail);
        Type(d, IDC_LINK_EMAIL_TEXT, L"Mail me");
        Click(d, IDC_LINK_URL_RADIO);
        Look(d, ui, backToUrl);
        Click(d, IDC_LINK_EMAIL_RADIO);
        Look(d, ui, toFilledEmail);
    });
    dialog.DoModal();
    driver.Join();
    ASSERT_TRUE(driver.Found());
    for (int id : kEmailGroup) EXPECT_TRUE(toEmptyEmail.enabled[id]) << id;
    for (int id : kUrlGroup) EXPECT_FALSE(toEmptyEmail.enabled[id]) << id;
    EXPECT_EQ(toEmptyEmail.focus, IDC_LINK_EMAIL_TEXT);
    EXPECT_TRUE(toEmptyEmail.emailChecked);
    EXPECT_FALSE(toEmptyEmail.urlChecked);
    EXPECT_TRUE(backToUrl.urlChecked);
    EXPECT_FALSE(backToUrl.emailChecked);
    EXPECT_EQ(toFilledEmail.focus, IDC_LINK_EMAIL_ADDRESS);
    for (int id : kUrlGroup) EXPECT_TRUE(backToUrl.enabled[id]) << id;
    for (int id : kEmailGroup) EXPECT_FALSE(backToUrl.enabled[id]) << id;
    EXPECT_EQ(backToUrl.focus, IDC_LINK_URL_TEXT);   // the URL display edit is still empty
    // Text typed for one type is not copied to the other.
    EXPECT_EQ(backToUrl.text[IDC_LINK_URL_TEXT], L"");
}

TEST_F(LinkDialogTest, OkReadsOnlyTheCheckedType) {
    {
        CLinkDialog dialog;
        dialog.displayText = u"Home";
        DialogDriver driver(L"Create Link", [&](HWND d) {
            Type(d, IDC_LINK_URL_ADDRESS, L"example.org");
            Type(d, IDC_LINK_EMAIL_ADDRESS, L"not read");
            Click(d, IDOK);
        });
        EXPECT_EQ(dialog.DoModal(), IDOK);
        driver.Join();
        EXPECT_TRUE(dialog.IsUrl());
        EXPECT_EQ(dialog.displayText, u"Home");
        EXPECT_EQ(dialog.address, u"example.org");
        EXPECT_EQ(dialog.emailAddress, u"");
    }
    {
        CLinkDialog dialog;
        dialog.displayText = u"Home";
        dialog.address = u"set by the caller";
        DialogDriver driver(L"Create Link", [&](HWND d) {
            Click(d, IDC_LINK_EMAIL_RADIO);
            Type(d, IDC_LINK_EMAIL_TEXT, L"Write");
            Type(d, IDC_LINK_EMAIL_ADDRESS, L"me@example.org");
            Type(d, IDC_LINK_SUBJECT, L"Hello");
            Click(d, IDOK);
        });
        EXPECT_EQ(dialog.DoModal(), IDOK);
        driver.Join();
        EXPECT_FALSE(dialog.IsUrl());
        EXPECT_EQ(dialog.displayText, u"Write");
        EXPECT_EQ(dialog.emailAddress, u"me@example.org");
        EXPECT_EQ(dialog.subject, u"Hello");
        EXPECT_EQ(dialog.address, u"set by the caller");
    }
}

TEST_F(LinkDialogTest, CancelLeavesEveryField) {
    CLinkDialog dialog;
    dialog.displayText = u"Home";
    dialog.address = u"a";
    DialogDriver driver(L"Create Link", [&](HWND d) {
        Type(d, IDC_LINK_URL_TEXT, L"changed");
        Type(d, IDC_LINK_URL_ADDRESS, L"changed");
        Click(d, IDC_LINK_EMAIL_RADIO);
        Type(d, IDC_LINK_EMAIL_ADDRESS, L"changed");
        Click(d, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    driver.Join();
    ASSERT_TRUE(driver.Found());
    EXPECT_TRUE(dialog.IsUrl());
    EXPECT_EQ(dialog.displayText, u"Home");
    EXPECT_EQ(dialog.address, u"a");
    EXPECT_EQ(dialog.emailAddress, u"");
    EXPECT_EQ(dialog.subject, u"");
}
