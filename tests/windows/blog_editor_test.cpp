// The blog editor in this process: opened modally on the test's thread and
// driven from a second thread, against the publishing double in a folder of
// each test's own.

#include "editor/blog_output_dlg.h"
#include "gui_counters.h"
#include "publish_double.h"
#include "framework/gdiplus_session.h"
#include "framework/module.h"
#include "framework/wide.h"
#include "publishing/blog_client.h"
#include "publishing/post_assembly.h"
#include "resources/resource.h"
#include "ui_driver.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>
#include <richedit.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using simtest::NumberField;
using simtest::WideField;

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


// Saves what the screen shows of `window` as a PNG into build/windows/screenshots.
void SaveScreenshot(HWND window, const std::wstring& name) {
    // Let the dialog's thread finish painting first.
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    RECT rect{};
    ::GetWindowRect(window, &rect);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::SelectObject(memory, previous);

    fw::GdiplusSession gdiplus;
    Gdiplus::GpBitmap* image = nullptr;
    Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image);
    UINT count = 0, size = 0;
    Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &size);
    std::vector<char> buffer(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    Gdiplus::DllExports::GdipGetImageEncoders(count, size, encoders);
    const std::wstring folder = ExeFolder() + L"..\\screenshots";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (UINT i = 0; i < count && image; ++i) {
        if (std::wstring(encoders[i].MimeType) == L"image/png") {
            Gdiplus::DllExports::GdipSaveImageToFile(image, (folder + L"\\" + name).c_str(), &encoders[i].Clsid, nullptr);
        }
    }
    if (image) Gdiplus::DllExports::GdipDisposeImage(image);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

size_t Count(const std::wstring& text, const std::wstring& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

const char kThreeBlogs[] =
    "<Blogs>"
    "<Blog_Object><BlogId>11</BlogId><BlogName>Zeta notes</BlogName><BlogAddress>http://zeta.example/</BlogAddress></Blog_Object>"
    "<Blog_Object><BlogId>22</BlogId><BlogName>Alpha &amp; Co</BlogName><BlogAddress>http://alpha.example/</BlogAddress></Blog_Object>"
    "<Blog_Object><BlogId>33</BlogId><BlogName>Mid</BlogName><BlogAddress>http://mid.example/</BlogAddress></Blog_Object>"
    "</Blogs>";
const char kOneBlog[] =
    "<Blogs><Blog_Object><BlogId>7</BlogId><BlogName>Only</BlogName><BlogAddress>http://only.example/</BlogAddress>"
    "</Blog_Object></Blogs>";

// One PublishToBlogNoGUI call as the double's calls log has it.
struct PublishCall {
    long long serviceType = 0, draft = 0;
    std::wstring server, endpoint, imagePath, login, password, blogId, title, htmlBody, blogAddress;
};

constexpr wchar_t kEditorCaption[] = L"Blog Editor";

class EditorTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ::LoadLibraryW(L"riched20.dll");  // the host has it loaded; the component does not load it
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
    }

    void SetUp() override {
        libraryPath = publisher.LibraryPath().wstring();
        ASSERT_NE(::GetFileAttributesW(libraryPath.c_str()), INVALID_FILE_ATTRIBUTES);
        publisher.Script("reply.xml", kThreeBlogs);
        imagePath = WriteBitmap(640, 480);
    }

    // The double's folder goes after this, with the library released.
    void TearDown() override {
        publishing::ReleasePublishLibrary();
        ::DeleteFileW(imagePath.c_str());
    }

    std::vector<std::string> BlogListCalls() const { return publisher.Calls("GetBlogIDs"); }
    std::vector<PublishCall> Published() const {
        std::vector<PublishCall> calls;
        for (const std::string& line : publisher.Calls("PublishToBlogNoGUI")) {
            PublishCall call;
            call.serviceType = NumberField(line, "serviceType");
            call.draft = NumberField(line, "draft");
            call.server = WideField(line, "server");
            call.endpoint = WideField(line, "endpoint");
            call.imagePath = WideField(line, "imagePath");
            call.login = WideField(line, "login");
            call.password = WideField(line, "password");
            call.blogId = WideField(line, "blogId");
            call.title = WideField(line, "title");
            call.htmlBody = WideField(line, "htmlBody");
            call.blogAddress = WideField(line, "blogAddress");
            calls.push_back(call);
        }
        return calls;
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
    simtest::PublishDouble publisher;
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
    const auto lists = BlogListCalls();
    ASSERT_FALSE(lists.empty());
    EXPECT_EQ(WideField(lists.back(), "login"), L"ann");
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
    const auto published = Published();
    ASSERT_EQ(published.size(), 1u);
    const PublishCall& call = published[0];
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
    // The typed percent sign is escaped; the only "%s" are the image tag's two.
    EXPECT_NE(call.htmlBody.find(L"Up 5&#37; today"), std::wstring::npos);
    EXPECT_EQ(Count(call.htmlBody, L"%s"), 2u);
    EXPECT_EQ(Count(call.htmlBody, L"%"), 2u);
    EXPECT_EQ(editor.postAddress, u"http://alpha.example/");
    EXPECT_EQ(publishing::publishLibrary.get(), nullptr) << "Post releases the library";
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
        publisher.ForgetCalls();
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
        const auto published = Published();
        ASSERT_EQ(published.size(), 1u);
        const std::wstring& html = published[0].htmlBody;
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
        EXPECT_EQ(publishing::ImageSizeText(U(path)), c.expected) << c.width << "x" << c.height;
        ::DeleteFileW(path.c_str());
    }
    EXPECT_EQ(publishing::ImageSizeText(u"C:\\no\\such\\image.png"), u"");
}

TEST(ImageTag, MissingImageLeavesTwoSpacesBeforeHspace) {
    EXPECT_EQ(publishing::WithImageTag(u"<p>x</p>", u"", publishing::ImageAlign::Left),
              u"<a href=\"%s\"><img src = \"%s\" align = \"left\"  hspace = \"20\" /></a><p>x</p>");
    EXPECT_EQ(publishing::WithImageTag(u"<p>x</p>", u"", publishing::ImageAlign::Bottom),
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
            EXPECT_NE(publishing::publishLibrary.get(), nullptr);
            close(window);
            EXPECT_TRUE(ui::WaitGone(window));
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(editor.differentAccountRequested, 0);
        EXPECT_EQ(publishing::publishLibrary.get(), nullptr);
        EXPECT_TRUE(Published().empty());
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
    EXPECT_NE(publishing::publishLibrary.get(), nullptr);
}

TEST_F(EditorTest, RejectedAccountClosesAtOnceWithoutAMessage) {
    publisher.Script("accept", "bob");  // ann's account is refused
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
    EXPECT_NE(publishing::publishLibrary.get(), nullptr);
    const auto lists = BlogListCalls();
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(NumberField(lists[0], "result"), static_cast<int>(E_FAIL));
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

TEST_F(EditorTest, RefusedPostKeepsTheEntryAndTheLibraryForAnotherTry) {
    publisher.Script("result", "1");
    CBlogOutputDlg editor(nullptr, icon);
    Prepare(editor);
    std::wstring message;
    INT_PTR result = Run(editor, [&](HWND window) {
        ::SendMessageW(::GetDlgItem(window, IDC_EDITOR_TITLE), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Keep me"));
        ui::Click(window, IDC_EDITOR_POST);
        HWND box = ui::WaitForDialog(::GetWindowThreadProcessId(window, nullptr), Wide(fw::AppName()));
        ASSERT_NE(box, nullptr);
        message = ui::MessageText(box);
        ui::Answer(box, IDOK);
        ASSERT_TRUE(ui::WaitGone(box));
        EXPECT_TRUE(::IsWindowVisible(window)) << "the editor stays open";
        EXPECT_EQ(ui::TextOf(::GetDlgItem(window, IDC_EDITOR_TITLE)), L"Keep me");
        EXPECT_NE(publishing::publishLibrary.get(), nullptr) << "loaded again for the next try";
        publisher.Script("result", "0");
        ui::Click(window, IDC_EDITOR_POST);
        EXPECT_TRUE(ui::WaitGone(window));
    });
    EXPECT_EQ(message, L"The entry could not be posted. Check the connection and the account, then try again.");
    EXPECT_EQ(result, IDOK);
    const auto published = Published();
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[1].title, L"Keep me");
    EXPECT_EQ(published[1].blogAddress, L"http://zeta.example/");
    EXPECT_EQ(editor.postAddress, u"http://zeta.example/");
    EXPECT_EQ(publishing::publishLibrary.get(), nullptr);
}

TEST_F(EditorTest, DebugFolderWritesBothFilesAndAsksBeforeSending) {
    const std::wstring folder = L"c:\\DebugBlogHTML";
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS);
    struct Cleanup {
        std::wstring folder;
        ~Cleanup() {
            ::DeleteFileW((folder + L"\\rtf.rtf").c_str());
            ::DeleteFileW((folder + L"\\html.htm").c_str());
            ::RemoveDirectoryW(folder.c_str());
        }
    } cleanup{folder};

    CBlogOutputDlg editor(nullptr, icon);
    Prepare(editor);
    std::vector<std::wstring> questions;
    INT_PTR result = Run(editor, [&](HWND window) {
        const DWORD thread = ::GetWindowThreadProcessId(window, nullptr);
        for (int answer : {IDNO, IDYES}) {
            ui::Click(window, IDC_EDITOR_POST);
            HWND box = ui::WaitForDialog(thread, Wide(fw::AppName()));
            ASSERT_NE(box, nullptr);
            questions.push_back(ui::MessageText(box));
            if (answer == IDNO) {
                EXPECT_NE(::GetFileAttributesW((folder + L"\\rtf.rtf").c_str()), INVALID_FILE_ATTRIBUTES);
                EXPECT_NE(::GetFileAttributesW((folder + L"\\html.htm").c_str()), INVALID_FILE_ATTRIBUTES);
            }
            ui::Answer(box, answer);
            ASSERT_TRUE(ui::WaitGone(box));
            if (answer == IDNO) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                EXPECT_TRUE(::IsWindowVisible(window));
                EXPECT_TRUE(Published().empty()) << "No sends nothing";
            }
        }
        EXPECT_TRUE(ui::WaitGone(window));
    });
    ASSERT_EQ(questions.size(), 2u);
    for (const std::wstring& q : questions) EXPECT_EQ(q, L"RTF/HTML outputted to c:\\DebugBlogHTML Continue to send to blog?");
    EXPECT_EQ(result, IDOK);
    const auto published = Published();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(Count(published[0].htmlBody, L"<img"), 1u) << "one image tag after a stopped Post";
}

TEST_F(EditorTest, ToolTipsComeFromTheStringTable) {
    CBlogOutputDlg editor(nullptr, icon);
    Prepare(editor);
    Run(editor, [&](HWND window) {
        HWND tips = reinterpret_cast<HWND>(::SendMessageW(Bar(window, IDC_EDITOR_FORMAT_BAR), TB_GETTOOLTIPS, 0, 0));
        ASSERT_NE(tips, nullptr);
        auto wideTip = [&](UINT_PTR id, bool byWindow) {
            NMTTDISPINFOW info{};
            info.hdr = {tips, id, TTN_NEEDTEXTW};
            info.uFlags = byWindow ? TTF_IDISHWND : 0;
            // The result is 0 either way; a handled request points the text at its buffer.
            ::SendMessageW(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
            return info.lpszText ? std::wstring(info.lpszText) : std::wstring(L"(unhandled)");
        };
        auto item = [&](int id) { return reinterpret_cast<UINT_PTR>(::GetDlgItem(window, id)); };
        EXPECT_EQ(wideTip(item(IDC_EDITOR_DIFFERENT_ACCOUNT), true), L"Log-in with a different account");
        EXPECT_EQ(wideTip(item(IDC_EDITOR_TEXT_SIZE), true), L"Text size");
        EXPECT_EQ(wideTip(item(IDC_EDITOR_POST), true), L"");
        EXPECT_EQ(wideTip(ID_FORMAT_BOLD, false), L"Bold (Ctrl+B)");
        EXPECT_EQ(wideTip(ID_IMAGE_BOTTOM, false), L"Align Image Bottom");
        EXPECT_EQ(wideTip(0, false), L"(unhandled)");

        // Zeros after the request: a handler that read the flags at the wide
        // request's offset would not see TTF_IDISHWND.
        struct { NMTTDISPINFOA ansi; BYTE after[sizeof(NMTTDISPINFOW)]; } padded{};
        NMTTDISPINFOA& ansi = padded.ansi;
        ansi.hdr = {tips, item(IDC_EDITOR_DIFFERENT_ACCOUNT), TTN_NEEDTEXTA};
        ansi.uFlags = TTF_IDISHWND;
        ::SendMessageW(window, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&ansi));
        ASSERT_NE(ansi.lpszText, nullptr);
        EXPECT_STREQ(ansi.lpszText, "Log-in with a different account");

        // A real request through the toolbar's own tip control.
        wchar_t text[80] = {};
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.hwnd = Bar(window, IDC_EDITOR_FORMAT_BAR);
        tool.uId = ID_FORMAT_ITALIC;
        tool.lpszText = text;
        ::SendMessageW(tips, TTM_GETTEXTW, 80, reinterpret_cast<LPARAM>(&tool));
        EXPECT_STREQ(text, L"Italic (Ctrl+I)");

        SaveScreenshot(window, L"editor_full.png");
        ui::Click(window, IDCANCEL);
    });
}

TEST_F(EditorTest, OneBlogHidesTheRowAndShortensTheDialog) {
    // The reply is read when the editor opens, not when it is given its data.
    publisher.Script("reply.xml", kOneBlog);
    CBlogOutputDlg full(nullptr, icon);
    Prepare(full);
    publisher.Script("reply.xml", kThreeBlogs);
    RECT fullRect{}, postFull{};
    Run(full, [&](HWND window) {
        ::GetWindowRect(window, &fullRect);
        ::GetWindowRect(::GetDlgItem(window, IDC_EDITOR_POST), &postFull);
        ui::Click(window, IDCANCEL);
    });

    publisher.Script("reply.xml", kOneBlog);
    publisher.ForgetCalls();
    CBlogOutputDlg compact(nullptr, icon);
    Prepare(compact);
    RECT compactRect{}, postCompact{};
    bool listVisible = true, labelVisible = true;
    Run(compact, [&](HWND window) {
        ::GetWindowRect(window, &compactRect);
        ::GetWindowRect(::GetDlgItem(window, IDC_EDITOR_POST), &postCompact);
        listVisible = ::IsWindowVisible(::GetDlgItem(window, IDC_EDITOR_BLOG_LIST));
        labelVisible = ::IsWindowVisible(::GetDlgItem(window, IDC_EDITOR_BLOG_LABEL));
        SaveScreenshot(window, L"editor_compacted.png");
        ui::Click(window, IDC_EDITOR_POST);
        EXPECT_TRUE(ui::WaitGone(window));
    });
    EXPECT_FALSE(listVisible);
    EXPECT_FALSE(labelVisible);
    ASSERT_GT(compact.layoutShift, 0);
    EXPECT_EQ((fullRect.bottom - fullRect.top) - (compactRect.bottom - compactRect.top), compact.layoutShift);
    EXPECT_EQ((postFull.top - fullRect.top) - (postCompact.top - compactRect.top), compact.layoutShift);
    const auto published = Published();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].blogId, L"7");
    EXPECT_EQ(compact.postAddress, u"http://only.example/");
}

TEST_F(EditorTest, LiveJournalWithoutBlogsPostsToTheJournal) {
    publisher.Script("reply.xml", "<Other/>");
    CBlogOutputDlg editor(nullptr, icon);
    Prepare(editor, 3);
    Run(editor, [&](HWND window) {
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(window, IDC_EDITOR_BLOG_LIST)));
        ui::Click(window, IDC_EDITOR_POST);
        EXPECT_TRUE(ui::WaitGone(window));
    });
    const auto published = Published();
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].blogId, L"");
    EXPECT_EQ(published[0].blogAddress, L"http://ann.livejournal.com");
    EXPECT_EQ(editor.postAddress, u"http://ann.livejournal.com");
}

// A reply that fills the library's whole buffer (1 Mi characters) with no
// NUL anywhere: the editor reads it to the buffer's end and no further.
TEST_F(EditorTest, ReplyFillingTheWholeBufferIsReadToItsEnd) {
    constexpr size_t kCapacity = 0x100000;
    std::string twoBlogs = "<Blogs>"
                           "<Blog_Object><BlogId>1</BlogId><BlogName>One</BlogName></Blog_Object>"
                           "<Blog_Object><BlogId>2</BlogId><BlogName>Two</BlogName></Blog_Object>"
                           "</Blogs>";
    twoBlogs.resize(kCapacity, ' ');
    // Never closed, and every other character a tag for the search to pass.
    std::string unclosed = "<Blogs><Blog_Object><BlogId>1</BlogId><BlogName>One</BlogName>";
    while (unclosed.size() < kCapacity) unclosed += "<i>";
    unclosed.resize(kCapacity);

    struct Case {
        const char* what;
        std::string reply;  // ASCII: as many characters as bytes
        LRESULT blogs;
    } cases[] = {
        {"two blogs, then padding to the last character", twoBlogs, 2},
        {"an element never closed", unclosed, 0},
    };
    publisher.Script("unterminated", "");
    for (const Case& c : cases) {
        publisher.Script("reply.xml", c.reply);
        publisher.ForgetCalls();
        CBlogOutputDlg editor(nullptr, icon);
        Prepare(editor);
        INT_PTR result = Run(editor, [&](HWND window) {
            HWND list = ::GetDlgItem(window, IDC_EDITOR_BLOG_LIST);
            EXPECT_EQ(::SendMessageW(list, CB_GETCOUNT, 0, 0), c.blogs) << c.what;
            EXPECT_EQ(::IsWindowVisible(list) != FALSE, c.blogs >= 2) << c.what;
            ui::Click(window, IDCANCEL);
        });
        EXPECT_EQ(result, IDCANCEL) << c.what;
        EXPECT_EQ(editor.blogIds.size(), static_cast<size_t>(c.blogs)) << c.what;
        // The reply filled the buffer the editor offered, to its last character.
        const auto lists = BlogListCalls();
        ASSERT_EQ(lists.size(), 1u) << c.what;
        EXPECT_EQ(NumberField(lists[0], "capacity"), static_cast<long long>(kCapacity)) << c.what;
    }
}

// Captures of no bytes at all and of 100 MB: both are posted, the first with
// an image tag that gives no size (nothing could be read), the second scaled
// to the tag's width.
TEST_F(EditorTest, CapturesOfNoBytesAndOfAHundredMegabytesArePosted) {
    wchar_t folder[MAX_PATH] = {}, empty[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    ::GetTempFileNameW(folder, L"img", 0, empty);  // created with no bytes
    const std::wstring huge = WriteBitmap(5800, 5800);  // 100.9 MB of pixels
    struct Case {
        const char* what;
        std::wstring path;
        const wchar_t* size;  // what the image tag says, or null for no size
    } cases[] = {
        {"no bytes", empty, nullptr},
        {"100 MB", huge, L"height=\"320\" width=\"320\""},
    };
    for (const Case& c : cases) {
        publisher.ForgetCalls();
        CBlogOutputDlg editor(nullptr, icon);
        editor.SetPostData(2, u"ann", u"secret", u"blog.example", u"/rpc", U(c.path), U(libraryPath));
        INT_PTR result = Run(editor, [&](HWND window) {
            ::SendMessageW(::GetDlgItem(window, IDC_EDITOR_BODY), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"x"));
            ui::Click(window, IDC_EDITOR_POST);
            EXPECT_TRUE(ui::WaitGone(window, 60000)) << c.what;
        });
        EXPECT_EQ(result, IDOK) << c.what;
        const auto published = Published();
        ASSERT_EQ(published.size(), 1u) << c.what;
        const std::wstring& html = published[0].htmlBody;
        EXPECT_EQ(published[0].imagePath, c.path) << c.what;
        EXPECT_NE(html.find(L"<img src = \"%s\""), std::wstring::npos) << c.what;
        if (c.size) EXPECT_NE(html.find(c.size), std::wstring::npos) << std::string(html.begin(), html.end());
        else EXPECT_EQ(html.find(L"height="), std::wstring::npos) << std::string(html.begin(), html.end());
    }
    EXPECT_TRUE(::DeleteFileW(empty));
    EXPECT_TRUE(::DeleteFileW(huge.c_str()));
}

TEST_F(EditorTest, FiftySendsLeaveNoGdiOrUserHandlesBehind) {
    auto sendOnce = [&] {
        CBlogOutputDlg editor(nullptr, icon);
        Prepare(editor);
        Run(editor, [&](HWND window) {
            ::SendMessageW(::GetDlgItem(window, IDC_EDITOR_BODY), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"x"));
            ui::Click(window, IDC_EDITOR_POST);
            EXPECT_TRUE(ui::WaitGone(window));
        });
    };
    // The first sends load classes, fonts, GDI+ and the rich edit control's
    // caches for good. After them, fifty sends and then a hundred: Wine's
    // cache of device contexts still fills during them (to about fifty
    // entries, sooner or later depending on the machine's load); nothing
    // else may grow by one object per send.
    const guicount::Growth growth = guicount::MeasureGrowth(sendOnce, 20, 50, 100);
    std::printf("%s", guicount::Describe(growth).c_str());
    EXPECT_EQ(Published().size(), 170u);
    EXPECT_TRUE(guicount::LevelsOff(growth));
}

// The verdict above, on the same sends with one brush leaked on purpose in
// each: it has to fail, even over stretches this short and with the caches
// of a fresh process still filling.
TEST_F(EditorTest, OneObjectLeakedPerSendFailsTheLeakCheck) {
    std::vector<HBRUSH> leaked;
    auto sendAndLeak = [&] {
        CBlogOutputDlg editor(nullptr, icon);
        Prepare(editor);
        Run(editor, [&](HWND window) {
            ::SendMessageW(::GetDlgItem(window, IDC_EDITOR_BODY), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"x"));
            ui::Click(window, IDC_EDITOR_POST);
            EXPECT_TRUE(ui::WaitGone(window));
        });
        leaked.push_back(::CreateSolidBrush(RGB(1, 2, 3)));
    };
    const guicount::Growth growth = guicount::MeasureGrowth(sendAndLeak, 2, 10, 20);
    EXPECT_FALSE(guicount::LevelsOff(growth));
    EXPECT_GE(growth.end.gdiByType.at("BRUSH") - growth.middle.gdiByType.at("BRUSH"), 20) << guicount::Describe(growth);
    for (HBRUSH brush : leaked) ::DeleteObject(brush);
}

// The verdict on repetitions that each open, paint and close a window: it
// fails one object, one device context or one window left behind per
// repetition, whatever its kind, and passes a cache that fills during the
// first stretch and stays.
TEST(GuiCounters, LeakCheckFailsALeakAndPassesACacheThatLevelsOff) {
    auto popup = [] {
        return ::CreateWindowExW(0, L"STATIC", L"x", WS_POPUP | WS_VISIBLE, 0, 0, 60, 20, nullptr, nullptr, nullptr,
                                 nullptr);
    };
    auto paintOne = [&] {
        HWND window = popup();
        ::UpdateWindow(window);
        HDC dc = ::GetDC(window);
        ::ReleaseDC(window, dc);
        ::DestroyWindow(window);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    };
    HWND first = popup();  // the thread's input-method window comes with its first window (Wine)

    std::vector<HGDIOBJ> objects;
    auto leakBrush = [&] { paintOne(); objects.push_back(::CreateSolidBrush(RGB(1, 2, 3))); };
    auto leakMemoryDc = [&] { paintOne(); objects.push_back(::CreateCompatibleDC(nullptr)); };
    std::vector<HDC> screenDcs;
    auto leakScreenDc = [&] { paintOne(); screenDcs.push_back(::GetDC(nullptr)); };  // never given back
    auto fillCache = [&] {
        paintOne();
        if (objects.size() < 40) objects.push_back(::CreateSolidBrush(RGB(4, 5, 6)));
    };
    std::vector<HWND> windows;
    auto leakWindow = [&] { paintOne(); windows.push_back(popup()); };
    auto release = [&] {
        for (HGDIOBJ object : objects) {
            if (::GetObjectType(object) == OBJ_MEMDC) ::DeleteDC(static_cast<HDC>(object));
            else ::DeleteObject(object);
        }
        objects.clear();
        for (HWND window : windows) ::DestroyWindow(window);
        windows.clear();
        for (HDC dc : screenDcs) ::ReleaseDC(nullptr, dc);
        screenDcs.clear();
    };

    EXPECT_TRUE(guicount::LevelsOff(guicount::MeasureGrowth(paintOne, 5, 50, 100)));
    EXPECT_FALSE(guicount::LevelsOff(guicount::MeasureGrowth(leakBrush, 5, 50, 100)));
    release();
    EXPECT_FALSE(guicount::LevelsOff(guicount::MeasureGrowth(leakMemoryDc, 5, 50, 100)));
    release();
    EXPECT_FALSE(guicount::LevelsOff(guicount::MeasureGrowth(leakScreenDc, 5, 50, 100)));
    release();
    EXPECT_TRUE(guicount::LevelsOff(guicount::MeasureGrowth(fillCache, 5, 50, 100)));
    release();
    EXPECT_FALSE(guicount::LevelsOff(guicount::MeasureGrowth(leakWindow, 5, 50, 100)));
    release();
    ::DestroyWindow(first);
}

// The counter above has to see a single leaked object in this program too,
// or the fifty sends prove nothing.
TEST(GuiCounters, SeeOneLeakedBrushAndOneWindow) {
    const DWORD gdi = guicount::GdiObjects();
    HBRUSH brush = ::CreateSolidBrush(RGB(1, 2, 3));
    EXPECT_EQ(guicount::GdiObjects(), gdi + 1);
    ::DeleteObject(brush);
    EXPECT_EQ(guicount::GdiObjects(), gdi);
    // And one device context among them, which the fifty sends count apart.
    const DWORD dcs = guicount::GdiDcs();
    HDC dc = ::CreateDCW(L"DISPLAY", nullptr, nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(guicount::GdiDcs(), dcs + 1);
    ::DeleteDC(dc);
    EXPECT_EQ(guicount::GdiDcs(), dcs);

    // The thread's first window brings the input method's own window with
    // it (Wine), so one window stays open while the second is counted.
    auto popup = [] { return ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr); };
    HWND first = popup();
    const DWORD user = guicount::UserObjects();
    HWND window = popup();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(guicount::UserObjects(), user + 1);
    ::DestroyWindow(window);
    EXPECT_EQ(guicount::UserObjects(), user);
    ::DestroyWindow(first);
}

} // namespace
