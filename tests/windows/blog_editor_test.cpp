// The blog editor in this process: opened modally on the test's thread and
// driven from a second thread, against a stand-in publishing library.

#include "editor/blog_output_dlg.h"
#include "fake_publish.h"
#include "framework/module.h"
#include "framework/wide.h"
#include "publishing/publish_library.h"
#include "resources/resource.h"
#include "ui_driver.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>
#include <richedit.h>

#include <string>
#include <vector>

namespace {

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

core::String U(const std::wstring& text) { return fw::FromWide(text.c_str(), text.size()); }
std::wstring Wide(const core::String& text) { return std::wstring(fw::W(text)); }

// A 24-bit bitmap file of the given size, written by hand.
std::wstring WriteBitmap(int width, int height) {
    wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"img", 0, path);
    const int stride = (width * 3 + 3) & ~3;
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(stride * height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + info.biSizeImage;
    std::vector<char> pixels(info.biSizeImage, '\x80');
    HANDLE handle = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(handle, &file, sizeof file, &written, nullptr);
    ::WriteFile(handle, &info, sizeof info, &written, nullptr);
    ::WriteFile(handle, pixels.data(), static_cast<DWORD>(pixels.size()), &written, nullptr);
    ::CloseHandle(handle);
    return path;
}

const wchar_t kThreeBlogs[] =
    L"<Blogs>"
    L"<Blog_Object><BlogId>11</BlogId><BlogName>Zeta notes</BlogName><BlogAddress>http://zeta.example/</BlogAddress></Blog_Object>"
    L"<Blog_Object><BlogId>22</BlogId><BlogName>Alpha &amp; Co</BlogName><BlogAddress>http://alpha.example/</BlogAddress></Blog_Object>"
    L"<Blog_Object><BlogId>33</BlogId><BlogName>Mid</BlogName><BlogAddress>http://mid.example/</BlogAddress></Blog_Object>"
    L"</Blogs>";
const wchar_t kOneBlog[] =
    L"<Blogs><Blog_Object><BlogId>7</BlogId><BlogName>Only</BlogName><BlogAddress>http://only.example/</BlogAddress>"
    L"</Blog_Object></Blogs>";

constexpr wchar_t kEditorCaption[] = L"Blog Editor";

class EditorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::LoadLibraryW(L"riched20.dll");  // the host has it loaded; the component does not load it
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
    }

    void SetUp() override {
        libraryPath = ExeFolder() + L"FakePublish.dll";
        library = ::LoadLibraryW(libraryPath.c_str());
        ASSERT_NE(library, nullptr);
        auto get = reinterpret_cast<FakePublishStateFunction>(
            reinterpret_cast<void (*)()>(::GetProcAddress(library, "FakePublishStateGet")));
        ASSERT_NE(get, nullptr);
        fake = get();
        *fake = FakePublishState{};
        fake->blogReply = kThreeBlogs;
        imagePath = WriteBitmap(640, 480);
    }

    void TearDown() override {
        ReleasePublishLibrary();
        ::FreeLibrary(library);
        ::DeleteFileW(imagePath.c_str());
    }

    void Prepare(CBlogOutputDlg& editor, int serviceType = 2) {
        editor.SetPostData(serviceType, u"ann", u"secret", u"blog.example", u"/rpc", U(imagePath), U(libraryPath));
    }

    INT_PTR Run(CBlogOutputDlg& editor, const std::function<void(HWND)>& script) {
        return ui::Drive<INT_PTR>([&] { return editor.DoModal(); },
                                  [&](DWORD thread) {
                                      HWND window = ui::WaitForDialog(thread, kEditorCaption);
                                      EXPECT_NE(window, nullptr) << "the editor did not open";
                                      if (window) script(window);
                                  });
    }

    static HWND Bar(HWND editor, int id) { return ::GetDlgItem(editor, id); }
    static bool Checked(HWND bar, int command) { return ::SendMessageW(bar, TB_ISBUTTONCHECKED, command, 0) != 0; }

    HICON icon = ::LoadIconW(nullptr, IDI_APPLICATION);
    std::wstring libraryPath;
    std::wstring imagePath;
    HMODULE library = nullptr;
    FakePublishState* fake = nullptr;
};

TEST_F(EditorTest, FreshEditorShowsAccountDefaultsAndListedBlogs) {
    CBlogOutputDlg editor(nullptr, icon);
    Prepare(editor);
    INT_PTR result = Run(editor, [&](HWND window) {
        EXPECT_EQ(ui::TextOf(::GetDlgItem(window, IDC_EDITOR_USERNAME)), L"ann");
        HWND size = ::GetDlgItem(window, IDC_EDITOR_TEXT_SIZE);
        EXPECT_EQ(::SendMessageW(size, CB_GETCOUNT, 0, 0), 7);
        EXPECT_EQ(::SendMessageW(size, CB_GETCURSEL, 0, 0), 1);
        wchar_t item[32] = {};
        ::SendMessageW(size, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(item));
        EXPECT_STREQ(item, L"x-small");

        HWND format = Bar(window, IDC_EDITOR_FORMAT_BAR);
        HWND image = Bar(window, IDC_EDITOR_IMAGE_BAR);
        ASSERT_NE(format, nullptr);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(::SendMessageW(format, TB_BUTTONCOUNT, 0, 0), 10);
        EXPECT_EQ(::SendMessageW(image, TB_BUTTONCOUNT, 0, 0), 4);
        EXPECT_TRUE(Checked(format, ID_ALIGN_LEFT));
        EXPECT_FALSE(Checked(format, ID_ALIGN_CENTER));
        EXPECT_TRUE(Checked(image, ID_IMAGE_LEFT));
        EXPECT_FALSE(Checked(image, ID_IMAGE_BOTTOM));
        EXPECT_TRUE(::IsWindowVisible(format));
        EXPECT_TRUE(::IsWindowVisible(image));

        // The blogs in reply order despite the list's sort style; the first selected.
        HWND list = ::GetDlgItem(window, IDC_EDITOR_BLOG_LIST);
        EXPECT_TRUE(::IsWindowVisible(list));
        EXPECT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), 3);
        EXPECT_EQ(::SendMessageW(list, CB_GETCURSEL, 0, 0), 0);
        const wchar_t* names[] = {L"Zeta notes", L"Alpha & Co", L"Mid"};
        for (int i = 0; i < 3; ++i) {
            wchar_t name[64] = {};
            ::SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
            EXPECT_STREQ(name, names[i]);
        }
        // The focus starts in the title box.
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &gui);
        EXPECT_EQ(gui.hwndFocus, ::GetDlgItem(window, IDC_EDITOR_TITLE));

        // New text in the body comes at 10 points.
        HWND body = ::GetDlgItem(window, IDC_EDITOR_BODY);
        ::SendMessageW(body, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"Hi"));
        ::SendMessageW(body, EM_SETSEL, 0, 2);
        CHARFORMAT2W format2{};
        format2.cbSize = sizeof format2;
        ::SendMessageW(body, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format2));
        EXPECT_EQ(format2.yHeight, 200);

        ui::Click(window, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(fake->lastLogin, L"ann");
}

TEST_F(EditorTest, PostSendsTheEntryToTheChosenBlog) {
    CBlogOutputDlg editor(nullptr, icon);
    Prepare(editor);
    INT_PTR result = Run(editor, [&](HWND window) {
        ::SendMessageW(::GetDlgItem(window, IDC_EDITOR_TITLE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"My title"));
        HWND body = ::GetDlgItem(window, IDC_EDITOR_BODY);
        ::SendMessageW(body, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"Up 5% today"));
        ::SendMessageW(::GetDlgItem(window, IDC_EDITOR_DRAFT), BM_CLICK, 0, 0);
        ::SendMessageW(::GetDlgItem(window, IDC_EDITOR_BLOG_LIST), CB_SETCURSEL, 1, 0);
        ui::Click(window, IDC_EDITOR_POST);
        EXPECT_TRUE(ui::WaitGone(window));
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(fake->published.size(), 1u);
    const FakePublishCall& call = fake->published[0];
    EXPECT_EQ(call.serviceType, 2);
    EXPECT_EQ(call.server, L"blog.example");
    EXPECT_EQ(call.endpoint, L"/rpc");
    EXPECT_EQ(call.login, L"ann");
    EXPECT_EQ(call.password, L"secret");
    EXPECT_EQ(call.imagePath, imagePath);
    EXPECT_EQ(call.title, L"My title");
    EXPECT_EQ(call.draft, 1);
    EXPECT_EQ(call.blogId, L"22");
    EXPECT_EQ(call.blogAddress, L"http://alpha.example/");
    EXPECT_EQ(call.htmlBody.rfind(
                  L"<a href=\"%s\"><img src = \"%s\" align = \"left\" height=\"240\" width=\"320\" hspace = \"20\" /></a>", 0),
              0u)
        << std::string(call.htmlBody.begin(), call.htmlBody.end());
    EXPECT_EQ(editor.postAddress, u"http://alpha.example/");
    EXPECT_EQ(publishLibrary, nullptr) << "Post releases the library";
}

TEST_F(EditorTest, ImageButtonChoosesTheTagRow) {
    struct Case {
        int button;
        const wchar_t* expectedStart;  // null: the tag comes last
        const wchar_t* expectedEnd;
    };
    const Case cases[] = {
        {ID_IMAGE_RIGHT, L"<a href=\"%s\"><img src = \"%s\" align = \"right\" height=\"240\" width=\"320\" hspace = \"20\" /></a>", nullptr},
        {ID_IMAGE_TOP, L"<p align = \"center\"><a href=\"%s\"><img src = \"%s\" height=\"240\" width=\"320\" hspace=\"6\" /></a></p>", nullptr},
        {ID_IMAGE_BOTTOM, nullptr, L"<p align = \"center\"><a href=\"%s\"><img src = \"%s\" height=\"240\" width=\"320\" hspace=\"6\" /></a></p>"},
        {0, L"<a href=\"%s\"><img src = \"%s\" align = \"left\" height=\"240\" width=\"320\" hspace = \"20\" /></a>", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        fake->published.clear();
        CBlogOutputDlg editor(nullptr, icon);
        Prepare(editor);
        Run(editor, [&](HWND window) {
            // The toolbar's states as the alignment commands would leave them.
            HWND bar = Bar(window, IDC_EDITOR_IMAGE_BAR);
            ::SendMessageW(bar, TB_CHECKBUTTON, ID_IMAGE_LEFT, MAKELPARAM(FALSE, 0));
            if (c.button) ::SendMessageW(bar, TB_CHECKBUTTON, c.button, MAKELPARAM(TRUE, 0));
            ui::Click(window, IDC_EDITOR_POST);
            EXPECT_TRUE(ui::WaitGone(window));
        });
        ASSERT_EQ(fake->published.size(), 1u);
        const std::wstring& html = fake->published[0].htmlBody;
        if (c.expectedStart) {
            EXPECT_EQ(html.rfind(c.expectedStart, 0), 0u);
        }
        if (c.expectedEnd) {
            const std::wstring end = c.expectedEnd;
            ASSERT_GE(html.size(), end.size());
            EXPECT_EQ(html.substr(html.size() - end.size()), end);
        }
    }
}

TEST(ImageSizeText, ScalesWiderThan320KeepingProportions) {
    struct Case {
        int width, height;
        const char16_t* expected;
    };
    const Case cases[] = {
        {640, 480, u"height=\"240\" width=\"320\""},
        {320, 77, u"height=\"77\" width=\"320\""},
        {321, 100, u"height=\"99\" width=\"320\""},
        {200, 150, u"height=\"150\" width=\"200\""},
        {1000, 3, u"height=\"0\" width=\"320\""},
    };
    for (const Case& c : cases) {
        std::wstring path = WriteBitmap(c.width, c.height);
        EXPECT_EQ(CBlogOutputDlg::ImageSizeText(U(path)), c.expected) << c.width << "x" << c.height;
        ::DeleteFileW(path.c_str());
    }
    EXPECT_EQ(CBlogOutputDlg::ImageSizeText(u"C:\\no\\such\\image.png"), u"");
}

TEST(ImageTag, MissingImageLeavesTwoSpacesBeforeHspace) {
    EXPECT_EQ(CBlogOutputDlg::WithImageTag(u"<p>x</p>", u"", ID_IMAGE_LEFT),
              u"<a href=\"%s\"><img src = \"%s\" align = \"left\"  hspace = \"20\" /></a><p>x</p>");
    EXPECT_EQ(CBlogOutputDlg::WithImageTag(u"<p>x</p>", u"", ID_IMAGE_BOTTOM),
              u"<p>x</p><p align = \"center\"><a href=\"%s\"><img src = \"%s\"  hspace=\"6\" /></a></p>");
}

TEST_F(EditorTest, CancelEscapeAndCloseBoxReleaseTheLibrary) {
    const std::function<void(HWND)> ways[] = {
        [](HWND window) { ui::Click(window, IDCANCEL); },
        [](HWND window) {
            // Escape in the title box, through the dialog's own keyboard handling.
            HWND title = ::GetDlgItem(window, IDC_EDITOR_TITLE);
            ::PostMessageW(title, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            ::PostMessageW(title, WM_KEYUP, VK_ESCAPE, 0xC0010001);
        },
        [](HWND window) { ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    int way = 0;
    for (const auto& close : ways) {
        SCOPED_TRACE(testing::Message() << "way " << way++);
        CBlogOutputDlg editor(nullptr, icon);
        Prepare(editor);
        INT_PTR result = Run(editor, [&](HWND window) {
            EXPECT_NE(publishLibrary, nullptr);
            close(window);
            EXPECT_TRUE(ui::WaitGone(window));
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(editor.differentAccountRequested, 0);
        EXPECT_EQ(publishLibrary, nullptr);
        EXPECT_TRUE(fake->published.empty());
    }
}

TEST_F(EditorTest, DifferentAccountKeepsTheLibraryLoaded) {
    CBlogOutputDlg editor(nullptr, icon);
    Prepare(editor);
    INT_PTR result = Run(editor, [&](HWND window) {
        ui::Click(window, IDC_EDITOR_DIFFERENT_ACCOUNT);
        EXPECT_TRUE(ui::WaitGone(window));
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(editor.differentAccountRequested, 1);
    EXPECT_NE(publishLibrary, nullptr);
}

TEST_F(EditorTest, RejectedAccountClosesAtOnceWithoutAMessage) {
    fake->blogResult = static_cast<int>(E_FAIL);
    CBlogOutputDlg editor(nullptr, icon);
    Prepare(editor);
    // No script: the editor must end by itself (a message box would be
    // cancelled by the driver and show up as a second window below).
    bool sawWindow = false;
    INT_PTR result = ui::Drive<INT_PTR>([&] { return editor.DoModal(); },
                                        [&](DWORD thread) {
                                            sawWindow = ui::WaitForDialog(thread, Wide(fw::AppName()), 500) != nullptr;
                                        });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(sawWindow);
    EXPECT_EQ(editor.differentAccountRequested, 1);
    EXPECT_NE(publishLibrary, nullptr);
    EXPECT_EQ(fake->getBlogIdsCalls, 1);
}

TEST_F(EditorTest, MissingLibrarySaysSoAndKeepsTheEditorOpen) {
    CBlogOutputDlg editor(nullptr, icon);
    editor.SetPostData(2, u"ann", u"secret", u"", u"", U(imagePath), u"C:\\nowhere\\KeloPublish.dll");
    std::wstring message;
    bool editorShown = false;
    INT_PTR result = ui::Drive<INT_PTR>([&] { return editor.DoModal(); },
                                        [&](DWORD thread) {
                                            HWND box = ui::WaitForDialog(thread, Wide(fw::AppName()));
                                            ASSERT_NE(box, nullptr);
                                            message = ui::MessageText(box);
                                            ui::Answer(box, IDOK);
                                            HWND window = ui::WaitForDialog(thread, kEditorCaption);
                                            editorShown = window != nullptr;
                                            if (window) {
                                                EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(window, IDC_EDITOR_BLOG_LIST)));
                                                ui::Click(window, IDCANCEL);
                                            }
                                        });
    EXPECT_EQ(message, L"Could not load required DLL for Posting");
    EXPECT_TRUE(editorShown);
    EXPECT_EQ(result, IDCANCEL);
}

} // namespace
