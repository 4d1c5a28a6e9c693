// The send command against a host of our own in this process: which file the
// host is asked to write, and how a send without a capture file fails.

#include "component/velluma_output.h"
#include "framework/com.h"
#include "framework/wide.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

// One object plays every host role the send command asks for.
class FakeHost final : public IAccessoryHost, public ICaptureDocument, public ICaptureImageWriter,
                       public IOutputFileSettings, public ICategoryPreferences {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
        *result = nullptr;
        if (iid == IID_IUnknown || iid == __uuidof(IAccessoryHost)) *result = static_cast<IAccessoryHost*>(this);
        else if (iid == __uuidof(ICaptureDocument)) *result = static_cast<ICaptureDocument*>(this);
        else if (iid == __uuidof(ICaptureImageWriter)) *result = static_cast<ICaptureImageWriter*>(this);
        else if (iid == __uuidof(IOutputFileSettings)) *result = static_cast<IOutputFileSettings*>(this);
        else if (iid == __uuidof(ICategoryPreferences)) *result = static_cast<ICategoryPreferences*>(this);
        else return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    STDMETHODIMP GetDocument(IUnknown** document) override { return QueryInterface(IID_IUnknown, reinterpret_cast<void**>(document)); }
    STDMETHODIMP GetOutputSettings(IUnknown** settings) override { return QueryInterface(IID_IUnknown, reinterpret_cast<void**>(settings)); }
    STDMETHODIMP Reserved3() override { return S_OK; }
    STDMETHODIMP GetMainWindow(HWND* window) override { *window = nullptr; return S_OK; }

    STDMETHODIMP SaveImage(BSTR* path, long type, IUnknown*) override {
        requestedPath = fw::FromBstr(*path);
        requestedType = type;
        if (!redirect.empty()) {
            ::SysFreeString(*path);
            *path = fw::MakeBstr(redirect).release();
        }
        if (writeFile) {
            HANDLE file = ::CreateFileW(reinterpret_cast<const wchar_t*>(fw::FromBstr(*path).c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
        }
        return S_OK;
    }
    STDMETHODIMP GetFileType(long* type) override { *type = fileType; return S_OK; }
    STDMETHODIMP Reserved4() override { return S_OK; }
    STDMETHODIMP GetFileOptions(IUnknown** options) override { *options = nullptr; return S_OK; }
    STDMETHODIMP Reserved1() override { return S_OK; }
    STDMETHODIMP GetAccessoryFolder(BSTR* folder) override { *folder = fw::MakeBstr(accessory).release(); return S_OK; }
    STDMETHODIMP GetDataFolder(BSTR* folder) override { *folder = fw::MakeBstr(data).release(); return S_OK; }

    ULONG refs = 1;
    long fileType = 5;
    bool writeFile = true;
    core::String redirect;
    core::String requestedPath;
    long requestedType = -1;
    core::String accessory;  // empty: the send ends before any dialog
    core::String data;
};

// Answers the first message box of a thread with OK and keeps its text.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(DWORD uiThread) : worker_([this, uiThread] { Watch(uiThread); }) {}
    ~MessageBoxWatcher() { stop_ = true; worker_.join(); }
    std::wstring caption, text;

private:
    void Watch(DWORD uiThread) {
        for (int i = 0; i < 1000 && !stop_; ++i) {  // 10 s at most
            HWND box = nullptr;
            ::EnumThreadWindows(uiThread, [](HWND w, LPARAM p) {
                wchar_t cls[16] = {};
                ::GetClassNameW(w, cls, 16);
                if (std::wstring(cls) == L"#32770" && ::IsWindowVisible(w)) { *reinterpret_cast<HWND*>(p) = w; return FALSE; }
                return TRUE;
            }, reinterpret_cast<LPARAM>(&box));
            if (box) {
                wchar_t buffer[256] = {};
                ::GetWindowTextW(box, buffer, 256);
                caption = buffer;
                ::GetDlgItemTextW(box, 0xFFFF, buffer, 256);
                text = buffer;
                ::PostMessageW(box, WM_COMMAND, IDOK, 0);
                return;
            }
            ::Sleep(10);
        }
    }
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    return folder;
}

class SendCommand : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(CVellumaOutput::Create(nullptr, __uuidof(IOutput), output.put_void()), S_OK);
        auto init = output.TryQuery<IComponentInitialize>();
        ASSERT_EQ(init->Initialize(static_cast<IAccessoryHost*>(&host), 0, 0), S_OK);
        auto prefs = output.TryQuery<IComponentWantsCategoryPreferences>();
        ASSERT_EQ(prefs->SetCategoryPreferences(static_cast<ICategoryPreferences*>(&host)), S_OK);
    }
    void TearDown() override {
        output.reset();
        if (!host.requestedPath.empty()) ::DeleteFileW(fw::W(host.requestedPath));
        ::CoUninitialize();
    }
    FakeHost host;
    fw::ComPtr<IOutput> output;
};

} // namespace

TEST_F(SendCommand, AsksForTheRightTypeAndExtension) {
    struct Case { long hostType; long saveType; const char16_t* extension; };
    const Case cases[] = {{0, 0, u".bmp"}, {1, 5, u".png"}, {2, 2, u".tif"}, {3, 3, u".jpg"},
                          {4, 4, u".gif"}, {5, 5, u".png"}, {6, 5, u".png"}, {99, 5, u".png"}, {-3, 5, u".png"}};
    for (const Case& c : cases) {
        host.fileType = c.hostType;
        // Without an accessory folder the controller refuses to run the editor:
        // the send ends after the capture, successfully and silently.
        EXPECT_EQ(output->Send(), S_OK) << c.hostType;
        EXPECT_EQ(host.requestedType, c.saveType) << c.hostType;
        ASSERT_GE(host.requestedPath.size(), 4u);
        EXPECT_EQ(host.requestedPath.substr(host.requestedPath.size() - 4), c.extension) << c.hostType;
        const core::String name = host.requestedPath.substr(host.requestedPath.find_last_of(u'\\') + 1);
        EXPECT_EQ(name.substr(0, 3), u"Vel") << core::ToUtf8(name);
        // The empty placeholder file made for the unique name is gone.
        core::String placeholder = host.requestedPath.substr(0, host.requestedPath.size() - 4) + u".tmp";
        EXPECT_EQ(::GetFileAttributesW(fw::W(placeholder)), INVALID_FILE_ATTRIBUTES);
        ::DeleteFileW(fw::W(host.requestedPath));
    }
}

// A temporary folder whose name holds ".tmp": only the file's extension changes.
TEST_F(SendCommand, TemporaryFolderNamedTmpStaysIntact) {
    std::wstring folder = TempFolder() + L"capture.tmp.folder\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    wchar_t previous[MAX_PATH] = {};
    ::GetEnvironmentVariableW(L"TMP", previous, MAX_PATH);
    ::SetEnvironmentVariableW(L"TMP", folder.c_str());
    EXPECT_EQ(output->Send(), S_OK);
    ::SetEnvironmentVariableW(L"TMP", previous);
    const core::String expectedFolder = fw::FromWide(folder.c_str());
    EXPECT_EQ(host.requestedPath.substr(0, expectedFolder.size()), expectedFolder);
    EXPECT_EQ(host.requestedPath.substr(host.requestedPath.size() - 4), u".png");
    ::DeleteFileW(fw::W(host.requestedPath));
    host.requestedPath.clear();
    ::RemoveDirectoryW(folder.c_str());
}

// The path the host hands back is the one that counts.
TEST_F(SendCommand, UsesThePathTheHostReturns) {
    host.redirect = fw::FromWide((TempFolder() + L"redirected-capture.png").c_str());
    EXPECT_EQ(output->Send(), S_OK);
    EXPECT_NE(::GetFileAttributesW(fw::W(host.redirect)), INVALID_FILE_ATTRIBUTES);
    ::DeleteFileW(fw::W(host.redirect));
}

// A host that writes no file: the send fails at once, as with no capture.
TEST_F(SendCommand, NoFileWrittenFailsWithTheMessage) {
    host.writeFile = false;
    MessageBoxWatcher watcher(::GetCurrentThreadId());
    EXPECT_EQ(output->Send(), E_FAIL);
    EXPECT_EQ(watcher.text, L"Unable to send to Velluma Blog");
    EXPECT_FALSE(watcher.caption.empty());
}

TEST(CommandIds, ReadLikeTheHostSendsThem) {
    struct Case { const wchar_t* text; long id; };
    const Case cases[] = {{L"0", 0}, {L"", 0}, {nullptr, 0}, {L"abc", 0}, {L"1", 1}, {L" 1", 1},
                          {L"1x", 1}, {L"2", 2}, {L"-1", -1}, {L"+1", 1}, {L"\t 12ab", 12}};
    for (const Case& c : cases) EXPECT_EQ(CVellumaOutput::ParseCommandId(c.text), c.id) << (c.text ? "text" : "null");
}
