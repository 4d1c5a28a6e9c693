// The editor's formatting and link commands against a real RichEdit20W, two
// toolbars and a size box in a host window of the test's own thread. The link
// dialog is answered by a UI script from a second thread.
#include "core/link_text.h"
#include "editor/editor_formatting.h"
#include "editor/my_rich_edit_ctrl.h"
#include "framework/wide.h"
#include "resources/resource.h"
#include "dialog_driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <regex>
#include <string>

using core::String;

namespace {

EditorFormatting* g_formatting = nullptr;  // the fixture's, for the host's notifications

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && g_formatting) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == IDC_EDITOR_BODY && header->code == EN_LINK)
            return *g_formatting->OnLinkNotify(*reinterpret_cast<ENLINK*>(lParam));
        if (header->idFrom == IDC_EDITOR_BODY && header->code == EN_SELCHANGE) {
            g_formatting->OnSelectionChange();
            return 0;
        }
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeToolbar(HWND parent, std::initializer_list<int> commands) {
    HWND bar = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | CCS_NORESIZE,
                                 0, 0, 300, 30, parent, nullptr, nullptr, nullptr);
    ::SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    for (int command : commands) {
        TBBUTTON button{};
        button.iBitmap = I_IMAGENONE;
        button.idCommand = command;
        button.fsState = TBSTATE_ENABLED;
        button.fsStyle = BTNS_BUTTON;  // plain: the editor sets the checked states
        ::SendMessageW(bar, TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button));
    }
    return bar;
}

// The RTF without the trailing NUL Wine writes.
std::string Rtf(const fw::RichEdit& body) {
    std::string rtf = body.StreamOutRtf();
    while (!rtf.empty() && rtf.back() == '\0') rtf.pop_back();
    return rtf;
}

class EditorFormattingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::LoadLibraryW(L"riched20.dll");
        INITCOMMONCONTROLSEX init{sizeof init, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
        ::InitCommonControlsEx(&init);
        WNDCLASSW host{};
        host.lpfnWndProc = HostProc;
        host.hInstance = ::GetModuleHandleW(nullptr);
        host.lpszClassName = L"VellumaFormattingHost";
        host.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        ::RegisterClassW(&host);
    }

    void SetUp() override {
        host_ = ::CreateWindowExW(0, L"VellumaFormattingHost", L"Formatting host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  0, 0, 640, 400, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(host_);
        HWND body = ::CreateWindowExW(WS_EX_STATICEDGE, L"RichEdit20W", L"",
                                      WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_WANTRETURN |
                                          ES_AUTOVSCROLL | ES_NOHIDESEL,
                                      10, 80, 600, 250, host_, reinterpret_cast<HMENU>(IDC_EDITOR_BODY), nullptr, nullptr);
        ASSERT_TRUE(body);
        body_.Attach(body);
        // The dialog manager gives the editor's body the dialog font (not bold,
        // unlike a plain window's System font).
        body_.Send(WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        formatBar_.Attach(MakeToolbar(host_, {ID_FORMAT_BOLD, ID_FORMAT_ITALIC, ID_FORMAT_UNDERLINE, ID_ALIGN_LEFT,
                                              ID_ALIGN_CENTER, ID_ALIGN_RIGHT, ID_LINK_CREATE, ID_LINK_REMOVE}));
        imageBar_.Attach(MakeToolbar(host_, {ID_IMAGE_LEFT, ID_IMAGE_RIGHT, ID_IMAGE_TOP, ID_IMAGE_BOTTOM}));
        ::SetWindowPos(imageBar_.Hwnd(), nullptr, 0, 340, 300, 30, SWP_NOZORDER);
        sizeBox_.Attach(::CreateWindowExW(0, WC_COMBOBOXW, nullptr, WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | WS_VSCROLL,
                                          320, 0, 120, 200, host_, reinterpret_cast<HMENU>(IDC_EDITOR_TEXT_SIZE),
                                          nullptr, nullptr));
        for (const char16_t* entry : {u"xx-small", u"x-small", u"small", u"medium", u"large", u"x-large", u"xx-large"})
            sizeBox_.AddString(entry);
        sizeBox_.Select(1);
        formatBar_.CheckButton(ID_ALIGN_LEFT, true);
        imageBar_.CheckButton(ID_IMAGE_LEFT, true);

        // As the editor's initialisation leaves them.
        body_.SetEventMask(ENM_LINK | ENM_SELCHANGE);
        CHARFORMAT2W size{};
        size.dwMask = CFM_SIZE;
        size.yHeight = 200;
        body_.SetDefaultFormat(size);
        // Wine keeps the old height for text typed into the empty control
        // after SCF_DEFAULT alone; the editor's own start is not tested here.
        size.cbSize = sizeof size;
        body_.Send(EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&size));
        formatting_.Attach({host_, &body_, &formatBar_, &imageBar_, &sizeBox_});
        g_formatting = &formatting_;
    }

    void TearDown() override {
        g_formatting = nullptr;
        if (host_) ::DestroyWindow(host_);
    }

    void Type(const String& text) const {
        body_.Send(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(fw::W(text)));
    }
    String Text() const {
        GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
        return body_.TextRange(0, static_cast<LONG>(body_.Send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query))));
    }
    // A character typed with or without Ctrl held (the thread's key state).
    void Char(WPARAM code, bool ctrl) const {
        BYTE keys[256] = {};
        ::GetKeyboardState(keys);
        keys[VK_CONTROL] = ctrl ? 0x80 : 0;
        ::SetKeyboardState(keys);
        body_.Send(WM_CHAR, code, 1);
        keys[VK_CONTROL] = 0;
        ::SetKeyboardState(keys);
    }
    // Creates a link over [start, end) through the command, answering the
    // dialog with `script`; returns the script's result.
    uiscript::Result CreateLinkAnswering(LONG start, LONG end, const std::string& script) {
        body_.SetSelection(start, end);
        testui::ScriptedDialog driver(L"Create Link", script);
        formatting_.OnCreateLink();
        // The script's last click waits for the thread to take its messages.
        testui::PumpUntil([&] { return driver.Finished(); }, 10000);
        return driver.Join();
    }
    // A left click over character `position` of the body, as the user's.
    void ClickAt(LONG position) const {
        POINTL point{};
        body_.Send(EM_POSFROMCHAR, reinterpret_cast<WPARAM>(&point), position);
        const LPARAM at = MAKELPARAM(point.x + 2, point.y + 4);
        body_.Send(WM_LBUTTONDOWN, MK_LBUTTON, at);
        body_.Send(WM_LBUTTONUP, 0, at);
    }

    HWND host_ = nullptr;
    CMyRichEditCtrl body_;
    fw::ToolBar formatBar_;
    fw::ToolBar imageBar_;
    fw::ComboBox sizeBox_;
    EditorFormatting formatting_;
};

const char kUrlLinkScript[] = R"(wait "Create Link"
expect 3028 text "Home"
expect 3018 focused
set 3018 "example.org/x"
click 1
)";

} // namespace

TEST_F(EditorFormattingTest, EffectsFlipTextAndButtonAndShowOnlyWhenWholeSelectionHasThem) {
    Type(u"Plain bold italic under");
    struct Case { LONG start, end; void (EditorFormatting::*command)(); int button; const char* rtf; };
    const Case cases[] = {
        {6, 10, &EditorFormatting::OnBold, ID_FORMAT_BOLD, "\\b bold\\b0"},
        {11, 17, &EditorFormatting::OnItalic, ID_FORMAT_ITALIC, "\\i italic\\i0"},
        {18, 23, &EditorFormatting::OnUnderline, ID_FORMAT_UNDERLINE, "\\ul under\\ulnone"},
    };
    for (const Case& c : cases) {
        body_.SetSelection(c.start, c.end);
        (formatting_.*c.command)();
        EXPECT_TRUE(formatBar_.IsButtonChecked(c.button)) << c.rtf;
        EXPECT_NE(Rtf(body_).find(c.rtf), std::string::npos) << c.rtf << "\n" << Rtf(body_);
    }
    // The size is carried along: the bold word keeps the editor's 10 points.
    EXPECT_NE(Rtf(body_).find("\\fs20"), std::string::npos);

    // A selection of bold and plain text shows Bold unchecked; one that is
    // all bold shows it checked.
    body_.SetSelection(0, 10);
    formatting_.OnSelectionChange();
    EXPECT_FALSE(formatBar_.IsButtonChecked(ID_FORMAT_BOLD));
    body_.SetSelection(6, 10);
    formatting_.OnSelectionChange();
    EXPECT_TRUE(formatBar_.IsButtonChecked(ID_FORMAT_BOLD));
    // Flipping again turns the text back to plain.
    formatting_.OnBold();
    EXPECT_EQ(Rtf(body_).find("\\b bold"), std::string::npos);
}

TEST_F(EditorFormattingTest, ShortcutsRouteCtrlLettersAndTabInsertsATab) {
    Type(u"word");
    body_.SetSelection(0, 4);
    Char(2, true);    // Ctrl+B
    Char(9, true);    // Ctrl+I
    Char(21, true);   // Ctrl+U
    EXPECT_EQ(Text(), u"word");   // consumed, nothing typed over the selection
    const std::string rtf = Rtf(body_);
    EXPECT_NE(rtf.find("\\b"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\i"), std::string::npos) << rtf;
    EXPECT_NE(rtf.find("\\ul"), std::string::npos) << rtf;
    body_.SetSelection(4, 4);
    Char(9, false);   // Tab
    EXPECT_EQ(Text(), u"word\t");
}

TEST_F(EditorFormattingTest, SizesFollowTheTableAndTheBoxFollowsTheSelection) {
    Type(u"a b c d e f g");
    // The size word, perhaps the font, then the word (10 points is the
    // default and is written only where the size changes back).
    const char* words[] = {R"(\\fs17(\\f0)? +a)", R"(\\fs20(\\f0)? +b)", R"(\\fs24(\\f0)? +c)", R"(\\fs28(\\f0)? +d)",
                           R"(\\fs36(\\f0)? +e)", R"(\\fs48(\\f0)? +f)", R"(\\fs72(\\f0)? +g)"};
    for (int index = 0; index < 7; ++index) {
        body_.SetSelection(index * 2, index * 2 + 1);
        sizeBox_.Select(index);
        formatting_.OnTextSizeChange();
    }
    const std::string rtf = Rtf(body_);
    for (const char* word : words) EXPECT_TRUE(std::regex_search(rtf, std::regex(word))) << word << "\n" << rtf;

    // Moving into the 24-point word shows its entry.
    body_.SetSelection(10, 11);
    formatting_.OnSelectionChange();
    EXPECT_EQ(sizeBox_.Selection(), 5);

    // Pasted 11-point text is not in the table: the box stays as it was.
    Type(u" eleven");
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LONG end = static_cast<LONG>(body_.Send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query)));
    body_.SetSelection(end - 6, end);
    CHARFORMAT2W eleven{};
    eleven.dwMask = CFM_SIZE;
    eleven.yHeight = 220;
    body_.SetSelectionFormat(eleven);
    sizeBox_.Select(4);
    formatting_.OnSelectionChange();
    EXPECT_EQ(sizeBox_.Selection(), 4);
}

TEST_F(EditorFormattingTest, AlignmentsCheckOneButtonAndFollowTheParagraph) {
    Type(u"one\rtwo\rthree");
    struct Case { LONG at; void (EditorFormatting::*command)(); int button; const char* rtf; };
    const Case cases[] = {
        {5, &EditorFormatting::OnAlignCenter, ID_ALIGN_CENTER, "\\pard\\qc"},
        {9, &EditorFormatting::OnAlignRight, ID_ALIGN_RIGHT, "\\pard\\qr"},
    };
    for (const Case& c : cases) {
        body_.SetSelection(c.at, c.at);
        (formatting_.*c.command)();
        for (int button : {ID_ALIGN_LEFT, ID_ALIGN_CENTER, ID_ALIGN_RIGHT})
            EXPECT_EQ(formatBar_.IsButtonChecked(button), button == c.button) << c.rtf;
        EXPECT_NE(Rtf(body_).find(c.rtf), std::string::npos) << c.rtf << "\n" << Rtf(body_);
    }
    // The buttons follow the caret from paragraph to paragraph.
    body_.SetSelection(5, 5);
    formatting_.OnSelectionChange();
    EXPECT_TRUE(formatBar_.IsButtonChecked(ID_ALIGN_CENTER));
    EXPECT_FALSE(formatBar_.IsButtonChecked(ID_ALIGN_RIGHT));
    body_.SetSelection(1, 1);
    formatting_.OnSelectionChange();
    EXPECT_TRUE(formatBar_.IsButtonChecked(ID_ALIGN_LEFT));
    // Back to left: the centred paragraph loses its \qc.
    body_.SetSelection(5, 5);
    formatting_.OnAlignLeft();
    EXPECT_EQ(Rtf(body_).find("\\qc"), std::string::npos);
}

TEST_F(EditorFormattingTest, ImageButtonsKeepExactlyOneChecked) {
    struct Case { void (EditorFormatting::*command)(); int button; };
    const Case cases[] = {{&EditorFormatting::OnImageRight, ID_IMAGE_RIGHT}, {&EditorFormatting::OnImageTop, ID_IMAGE_TOP},
                          {&EditorFormatting::OnImageBottom, ID_IMAGE_BOTTOM}, {&EditorFormatting::OnImageLeft, ID_IMAGE_LEFT}};
    for (const Case& c : cases) {
        (formatting_.*c.command)();
        for (int button : {ID_IMAGE_LEFT, ID_IMAGE_RIGHT, ID_IMAGE_TOP, ID_IMAGE_BOTTOM})
            EXPECT_EQ(imageBar_.IsButtonChecked(button), button == c.button) << c.button;
    }
}

TEST_F(EditorFormattingTest, LinkIsEncodedClickedAndRemoved) {
    Type(u"See Home now");
    const uiscript::Result answered = CreateLinkAnswering(4, 8, kUrlLinkScript);
    ASSERT_TRUE(answered.ok) << answered.message;

    const String hidden = u"#\"http://example.org/x\"";
    EXPECT_EQ(Text(), u"See Home" + hidden + u" now");
    // The caret stands after the hidden address, at the remembered size, and
    // what is typed there is visible text.
    const LONG caret = 8 + static_cast<LONG>(hidden.size());
    EXPECT_EQ(body_.Selection().cpMin, caret);
    Type(u"!");
    body_.SetSelection(caret, caret + 1);
    CHARFORMAT2W typed = body_.SelectionFormat();
    EXPECT_FALSE(typed.dwEffects & CFE_HIDDEN);
    EXPECT_EQ(typed.yHeight, 200);

    const std::string rtf = Rtf(body_);
    EXPECT_NE(rtf.find("\\shad Home\\v\\shad0 #\"http://example.org/x\"\\v0"), std::string::npos) << rtf;

    // Inside the link text Create link is disabled, and Ctrl+K does nothing
    // (a dialog would fail the script below, which expects none).
    body_.SetSelection(5, 6);
    formatting_.OnSelectionChange();
    EXPECT_FALSE(formatBar_.IsButtonEnabled(ID_LINK_CREATE));
    EXPECT_FALSE(formatBar_.IsButtonEnabled(ID_LINK_REMOVE));   // not clicked yet
    {
        uiscript::Options options;
        options.timeoutMs = 700;
        uiscript::ScriptThread watcher("wait \"Create Link\"\nclick 2\n", options);
        Char(11, true);
        testui::PumpUntil([&] { return watcher.Finished(); }, 5000);
        EXPECT_FALSE(watcher.Join().ok) << "Ctrl+K opened the link dialog inside link text";
    }
    EXPECT_EQ(Text(), u"See Home" + hidden + u"! now");

    // A click on the link finds the hidden address; Remove link leaves plain text.
    ClickAt(5);
    EXPECT_EQ(formatting_.linkStart, 4);
    EXPECT_EQ(formatting_.linkEnd, 8);
    EXPECT_EQ(formatting_.urlStart, 8);
    EXPECT_EQ(formatting_.urlEnd, caret);
    body_.SetSelection(5, 6);
    formatting_.OnSelectionChange();
    EXPECT_TRUE(formatBar_.IsButtonEnabled(ID_LINK_REMOVE));
    formatting_.OnRemoveLink();
    EXPECT_EQ(Text(), u"See Home! now");
    const std::string plain = Rtf(body_);
    EXPECT_EQ(plain.find("\\shad"), std::string::npos) << plain;
    EXPECT_EQ(plain.find("\\v"), std::string::npos) << plain;
    EXPECT_EQ(formatting_.linkStart, -1);
    EXPECT_EQ(body_.Selection().cpMin, 8);
}

TEST_F(EditorFormattingTest, LinkInALaterParagraphIsRemovedExactly) {
    // Paragraph breaks before the link must not shift the hidden range.
    Type(u"first\rsecond\rthird Home end");
    const LONG start = 19;
    ASSERT_TRUE(CreateLinkAnswering(start, start + 4, kUrlLinkScript).ok);
    ClickAt(start + 1);
    ASSERT_EQ(formatting_.linkStart, start);
    formatting_.OnRemoveLink();
    EXPECT_EQ(Text(), u"first\rsecond\rthird Home end");
}

TEST_F(EditorFormattingTest, EmailLinkWithSubjectAndEscapedText) {
    Type(u"x ");
    // The dialog proposes nothing for an empty selection; backslash, braces,
    // a quote and non-ASCII text reach the control as typed.
    const uiscript::Result answered = CreateLinkAnswering(2, 2, R"(wait "Create Link"
expect 3028 focused
click 1035
expect 3030 focused
set 3030 "C:\\dir {a} café"
set 3026 "me@example.org"
set 3027 "say \"hi\""
click 1
)");
    ASSERT_TRUE(answered.ok) << answered.message;
    EXPECT_EQ(Text(), u"x C:\\dir {a} caf\u00e9#\"mailto:me@example.org?subject=say %22hi%22\"");

    // The link survives a round trip through RTF (Wine does not read \shad back).
    fw::RichEdit copy;
    copy.Attach(::CreateWindowExW(0, L"RichEdit20W", L"", WS_CHILD | ES_MULTILINE, 0, 0, 100, 100, host_, nullptr, nullptr, nullptr));
    const std::string rtf = Rtf(body_);
    copy.StreamInRtfSelection(rtf);
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LONG length = static_cast<LONG>(copy.Send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query)));
    String copied = copy.TextRange(0, length);
    if (!copied.empty() && copied.back() == u'\r') copied.pop_back();   // the streamed document's final \par
    EXPECT_EQ(copied, Text());
    EXPECT_NE(Rtf(copy).find("\\v #\"mailto:me@example.org?subject=say %22hi%22\"\\v0"), std::string::npos) << Rtf(copy);
}

TEST_F(EditorFormattingTest, EmptyDisplayTextOrAddressInsertsNothing) {
    Type(u"Home");
    const char* scripts[] = {
        "wait \"Create Link\"\nset 3028 \"\"\nset 3018 \"example.org\"\nclick 1\n",
        "wait \"Create Link\"\nclick 1\n",
        "wait \"Create Link\"\nclick 1035\nset 3027 \"subject only\"\nclick 1\n",
        "wait \"Create Link\"\nset 3018 \"example.org\"\nclick 2\n",
    };
    for (const char* script : scripts) {
        const uiscript::Result answered = CreateLinkAnswering(0, 4, script);
        EXPECT_TRUE(answered.ok) << answered.message;
        EXPECT_EQ(Text(), u"Home") << script;
        EXPECT_EQ(Rtf(body_).find("\\v"), std::string::npos) << script;
    }
}

TEST_F(EditorFormattingTest, RemoveLinkWithoutAClickOnlyForgets) {
    Type(u"nothing to remove");
    formatting_.linkStart = 2;   // left over, but no address range was found
    formatting_.linkEnd = -1;
    formatting_.OnRemoveLink();
    EXPECT_EQ(Text(), u"nothing to remove");
    EXPECT_EQ(formatting_.linkStart, -1);
}
