// Velluma.dll loaded, used and unloaded in this process the way a host does
// it: a send whose completion notice is still on screen when the host lets
// go of the output object. The notice's window procedure and timers are the
// DLL's code, so DllCanUnloadNow must say no until the notice is gone; and
// once the DLL is unloaded, no window class of it may remain registered.
//
// The host objects are the simulator's; a UI script logs in and posts, the
// publishing double answers from the accessory folder.

#include "tests/windows/sim_harness.h"
#include "tools/tarvex-sim/host_objects.h"
#include "tools/uiscript/runner.h"

#include <gtest/gtest.h>

#include <velluma.h>

#include <commctrl.h>
#include <gdiplus.h>
#include <ole2.h>

namespace {

using namespace simtest;

using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(__stdcall*)();

constexpr wchar_t kNoticeClass[] = L"keloAccAlert";

template <class Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// A visible notice window of this thread, or null.
HWND FindNotice() {
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND window, LPARAM param) -> BOOL {
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (::IsWindowVisible(window) && std::wstring(name) == kNoticeClass) {
                *reinterpret_cast<HWND*>(param) = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// Answers this thread's messages until `done` or `timeoutMs`.
template <class Done>
bool PumpUntil(Done done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// The process as a host prepares it for the component, and the temporary
// folder moved into the test's own folder (the capture files go there).
class HostProcess {
public:
    explicit HostProcess(const fs::path& temp) {
        ::OleInitialize(nullptr);
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
        richEdit_ = ::LoadLibraryW(L"riched20.dll");
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&gdiplus_, &input, nullptr);
        for (const wchar_t* name : {L"TMP", L"TEMP"}) {
            wchar_t value[MAX_PATH] = {};
            ::GetEnvironmentVariableW(name, value, MAX_PATH);
            saved_.emplace_back(name, value);
            ::SetEnvironmentVariableW(name, temp.wstring().c_str());
        }
    }
    ~HostProcess() {
        for (const auto& [name, value] : saved_) ::SetEnvironmentVariableW(name.c_str(), value.c_str());
        Gdiplus::GdiplusShutdown(gdiplus_);
        if (richEdit_) ::FreeLibrary(richEdit_);
        ::OleUninitialize();
    }

private:
    HMODULE richEdit_ = nullptr;
    ULONG_PTR gdiplus_ = 0;
    std::vector<std::pair<std::wstring, std::wstring>> saved_;
};

const char kOneBlog[] =
    "<Blogs><Blog_Object><BlogId>7</BlogId><BlogName>Only</BlogName>"
    "<BlogAddress>http://only.example/</BlogAddress></Blog_Object></Blogs>";

const char kLogInAndPost[] = R"(wait "Velluma Login"
set 219 "blog.example"
set 218 "/xmlrpc.php"
set 216 "ann"
set 217 "secret"
click 1
wait "Blog Editor"
set 1028 "Still showing"
click 3017
)";

} // namespace

TEST(ComponentUnload, NoticeOnScreenKeepsTheModuleLoadedAndItsClassGoesWithTheModule) {
    TempFolder folder;
    const fs::path accessory = folder / "accessory";
    const fs::path data = folder / "data";
    fs::create_directories(accessory);
    fs::create_directories(data);
    const fs::path built = ProgramFolder().parent_path() / "accessory";
    for (const char* name : {"Velluma.dll", "Velluma.ico"}) fs::copy_file(built / name, accessory / name);
    fs::copy_file(PublishingDouble(), accessory / "KeloPublish.dll");
    WriteFile(accessory / "KeloPublish.reply.xml", kOneBlog);

    HostProcess process(folder.path());
    ::SetCursorPos(5, 5);  // a pointer resting on the notice would hold it

    const std::wstring dllPath = (accessory / "Velluma.dll").wstring();
    HMODULE module = ::LoadLibraryW(dllPath.c_str());
    ASSERT_NE(module, nullptr);
    auto getClassObject = Export<GetClassObjectFn>(module, "DllGetClassObject");
    auto canUnloadNow = Export<CanUnloadNowFn>(module, "DllCanUnloadNow");
    ASSERT_TRUE(getClassObject && canUnloadNow);

    sim::HostConfig config;
    config.accessoryFolder = accessory.wstring() + L"\\";
    config.dataFolder = data.wstring();
    IAccessoryHost* host = sim::CreateHost(config);
    ICategoryPreferences* preferences = sim::CreatePreferences(config);

    HWND notice = nullptr;
    {
        IClassFactory* factory = nullptr;
        ASSERT_EQ(getClassObject(CLSID_VellumaOutput, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        IOutput* output = nullptr;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOutput, reinterpret_cast<void**>(&output)), S_OK);
        factory->Release();
        IComponentInitialize* init = nullptr;
        ASSERT_EQ(output->QueryInterface(IID_IComponentInitialize, reinterpret_cast<void**>(&init)), S_OK);
        init->Initialize(host, 0, 0);
        init->Release();
        IComponentWantsCategoryPreferences* wants = nullptr;
        ASSERT_EQ(output->QueryInterface(IID_IComponentWantsCategoryPreferences, reinterpret_cast<void**>(&wants)), S_OK);
        wants->SetCategoryPreferences(preferences);
        wants->Release();

        uiscript::ScriptThread script(kLogInAndPost, uiscript::Options{});
        EXPECT_EQ(output->Send(), S_OK);
        const uiscript::Result result = script.Join();
        ASSERT_TRUE(result.ok) << result.message;
        ASSERT_EQ(Lines(ReadFile(accessory / "KeloPublish.calls.jsonl")).size(), 2u) << "the blog list and the post";

        notice = FindNotice();
        ASSERT_NE(notice, nullptr) << "the completion notice is up (the host offers no alert service)";
        // The host is done with the output object while the notice shows.
        output->Release();
    }

    EXPECT_EQ(canUnloadNow(), S_FALSE) << "the notice's timers are still due";
    ASSERT_TRUE(PumpUntil([&] { return !::IsWindow(notice); }, 15000)) << "the notice closes by itself";
    EXPECT_EQ(canUnloadNow(), S_OK);

    preferences->Release();
    host->Release();
    ASSERT_TRUE(::FreeLibrary(module));
    ASSERT_EQ(::GetModuleHandleW(dllPath.c_str()), nullptr) << "the DLL is unloaded";
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    EXPECT_FALSE(::GetClassInfoExW(module, kNoticeClass, &info)) << "the notice's class went with the DLL";
}
