// tarvex-sim.exe: our stand-in for the host. It loads the component (from a
// DLL file or through COM), hands it host objects that record every call,
// calls one entry point, and lets a UI script answer the dialogs meanwhile.
//
//   tarvex-sim menu
//   tarvex-sim send --dll build/windows/accessory/Velluma.dll --ui answer.txt --log send.jsonl
//
// Exit status: 0 when the entry point returned (its HRESULT is in the log),
// 1 when the component could not be loaded or created, 2 for bad arguments,
// 3 when a UI script step failed (or the script ended with the entry point
// still waiting for a window nobody answers).

#include "tools/common/json_text.h"
#include "tools/tarvex-sim/event_log.h"
#include "tools/tarvex-sim/host_objects.h"
#include "tools/uiscript/runner.h"

#include <velluma.h>

#include <commctrl.h>
#include <gdiplus.h>
#include <ole2.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kExitOk = 0, kExitComponent = 1, kExitUsage = 2, kExitUiStep = 3;
constexpr DWORD kLingerMs = 15000;  // how long the component's windows may outlive the entry point

const char kUsage[] =
    "usage: tarvex-sim COMMAND [options]\n"
    "commands:\n"
    "  menu              print the component's menu text (UTF-8)\n"
    "  command ID        call OnMenuCommand(ID)\n"
    "  send              call Send\n"
    "  options           call ShowOptionsUI\n"
    "  open-last         call OpenLastResult\n"
    "options:\n"
    "  --dll PATH        load the component from this file (DllGetClassObject); default: COM\n"
    "  --accessory DIR   accessory folder (default: ..\\accessory beside this program)\n"
    "  --data DIR        data folder (default: %TEMP%\\tarvex-sim-data)\n"
    "  --file-type N     the host's output file type code (default 5, PNG)\n"
    "  --capture-size WxH  size of the synthetic capture (default 640x480)\n"
    "  --save-redirect PATH  SaveImage writes there and returns that path\n"
    "  --save-fail       SaveImage writes nothing and fails\n"
    "  --alert           offer the host's alert service\n"
    "  --open-last       after the command, call OpenLastResult as well\n"
    "  --ui SCRIPT       answer the dialogs with this UI script\n"
    "  --log FILE        write the host calls, message boxes and result as JSON Lines\n"
    "  --screenshot DIR  folder for the PNGs of `shot` steps\n";

struct Arguments {
    std::wstring command;
    std::wstring commandId;
    std::wstring dll;
    std::wstring script;
    std::wstring log;
    std::wstring screenshots;
    bool openLast = false;
    sim::HostConfig host;
};

void Print(FILE* stream, const std::string& utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

int UsageError(const std::string& message) {
    Print(stderr, "tarvex-sim: " + message + "\n" + kUsage);
    return kExitUsage;
}

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
    return folder;
}

std::wstring FullPath(const std::wstring& path) {
    wchar_t buffer[4096] = {};
    DWORD n = ::GetFullPathNameW(path.c_str(), 4096, buffer, nullptr);
    return n > 0 && n < 4096 ? std::wstring(buffer, n) : path;
}

bool ParseLong(const std::wstring& text, long& value) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    errno = 0;
    value = std::wcstol(text.c_str(), &end, 10);
    return errno == 0 && *end == L'\0';
}

// Returns 0 when the arguments are good, else the exit status (after the message).
int ParseArguments(int argc, wchar_t** argv, Arguments& args) {
    if (argc < 2) return UsageError("no command given");
    args.command = argv[1];
    int i = 2;
    if (args.command == L"command") {
        if (argc < 3 || std::wstring(argv[2]).rfind(L"--", 0) == 0) return UsageError("command needs an ID");
        args.commandId = argv[i++];
    } else if (args.command != L"menu" && args.command != L"send" && args.command != L"options" &&
               args.command != L"open-last") {
        return UsageError("unknown command \"" + tools::Utf8(args.command) + "\"");
    }
    for (; i < argc; ++i) {
        const std::wstring option = argv[i];
        auto value = [&](std::wstring& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return !into.empty();
        };
        std::wstring text;
        bool good = true;
        if (option == L"--dll") good = value(args.dll);
        else if (option == L"--accessory") good = value(args.host.accessoryFolder);
        else if (option == L"--data") good = value(args.host.dataFolder);
        else if (option == L"--ui") good = value(args.script);
        else if (option == L"--log") good = value(args.log);
        else if (option == L"--screenshot") good = value(args.screenshots);
        else if (option == L"--save-redirect") good = value(args.host.saveRedirect);
        else if (option == L"--save-fail") args.host.saveFail = true;
        else if (option == L"--alert") args.host.alert = true;
        else if (option == L"--open-last") args.openLast = true;
        else if (option == L"--file-type") good = value(text) && ParseLong(text, args.host.fileType);
        else if (option == L"--capture-size") {
            long w = 0, h = 0;
            const size_t x = (good = value(text)) ? text.find_first_of(L"xX") : std::wstring::npos;
            good = good && x != std::wstring::npos && ParseLong(text.substr(0, x), w) && ParseLong(text.substr(x + 1), h) &&
                   w > 0 && h > 0 && w <= 16384 && h <= 16384;
            args.host.captureWidth = static_cast<int>(w);
            args.host.captureHeight = static_cast<int>(h);
        } else {
            return UsageError("unknown option \"" + tools::Utf8(option) + "\"");
        }
        if (!good) return UsageError("option " + tools::Utf8(option) + " needs a valid value");
    }
    if (args.host.saveFail && !args.host.saveRedirect.empty())
        return UsageError("--save-fail and --save-redirect exclude each other");
    return 0;
}

// Main window: the dialogs' owner, as the host's own window would be.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(window, &paint);
        const wchar_t text[] = L"Tarvex host simulator";
        ::TextOutW(dc, 12, 12, text, static_cast<int>(std::wcslen(text)));
        ::EndPaint(window, &paint);
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateMainWindow() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"TarvexSimMainWindow";
    ::RegisterClassW(&windowClass);
    HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, L"Tarvex", WS_OVERLAPPEDWINDOW, 40, 40, 800, 600,
                                    nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window) {
        ::ShowWindow(window, SW_SHOW);
        ::UpdateWindow(window);
        // The active window of the user-interface thread, as the host's is
        // when the user picks a command: message boxes take it as owner.
        ::SetForegroundWindow(window);
        ::SetActiveWindow(window);
    }
    return window;
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

// The component's object, straight from the DLL file or through COM.
HRESULT CreateComponent(const Arguments& args, IUnknown** component, std::string& error) {
    if (!args.dll.empty()) {
        HMODULE module = ::LoadLibraryW(args.dll.c_str());  // kept loaded for the whole run
        if (!module) {
            error = "cannot load " + tools::Utf8(args.dll) + " (error " + std::to_string(::GetLastError()) + ")";
            return E_FAIL;
        }
        using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
        auto getClassObject = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")));
        if (!getClassObject) {
            error = tools::Utf8(args.dll) + " has no DllGetClassObject export";
            return E_FAIL;
        }
        IClassFactory* factory = nullptr;
        HRESULT hr = getClassObject(CLSID_VellumaOutput, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (FAILED(hr) || !factory) {
            error = tools::Utf8(args.dll) + " does not provide CVellumaOutput (DllGetClassObject " + Hex(hr) + ")";
            return FAILED(hr) ? hr : E_FAIL;
        }
        hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(component));
        factory->Release();
        if (FAILED(hr)) error = "the class factory did not create CVellumaOutput (" + Hex(hr) + ")";
        return hr;
    }

    // The host owns TARVEX.tlb: register the copy embedded in this program,
    // so the component's type library can resolve the host's interfaces.
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    ITypeLib* typeLib = nullptr;
    if (SUCCEEDED(::LoadTypeLibEx(self, REGKIND_NONE, &typeLib))) {
        HRESULT hr = ::RegisterTypeLib(typeLib, self, nullptr);
        if (FAILED(hr)) Print(stderr, "tarvex-sim: warning: TARVEX.tlb not registered (" + Hex(hr) + ")\n");
        typeLib->Release();
    }
    HRESULT hr = ::CoCreateInstance(CLSID_VellumaOutput, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    reinterpret_cast<void**>(component));
    if (FAILED(hr))
        error = "cannot create CVellumaOutput through COM (" + Hex(hr) +
                "): register Velluma.dll with regsvr32, or load it with --dll PATH";
    return hr;
}

template <class Interface>
Interface* Query(IUnknown* object, REFIID iid) {
    Interface* result = nullptr;
    object->QueryInterface(iid, reinterpret_cast<void**>(&result));
    return result;
}

// Visible top-level windows of this thread other than our main window: the
// component's dialogs, message boxes and notices.
bool ComponentWindowOpen(HWND mainWindow) {
    struct Search { HWND main; bool found; } search{mainWindow, false};
    ::EnumThreadWindows(::GetCurrentThreadId(), [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (window != s->main && ::IsWindowVisible(window)) {
            s->found = true;
            return FALSE;
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void PumpFor(DWORD ms) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        const DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= ms) return;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(ms - elapsed, 20), QS_ALLINPUT);
    }
}

// The script thread ends the whole process when a step fails, because the
// user-interface thread may sit in a modal loop that nobody will close.
[[noreturn]] void EndWithUiFailure(const std::string& message) {
    Print(stderr, "tarvex-sim: UI script failed: " + message + "\n");
    std::fflush(stdout);
    ::TerminateProcess(::GetCurrentProcess(), kExitUiStep);
    ::ExitProcess(kExitUiStep);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ::SetConsoleOutputCP(CP_UTF8);
    // Bytes as written: UTF-8 text with LF line ends, as tests compare it.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    Arguments args;
    if (int status = ParseArguments(argc, argv, args)) return status;

    std::string scriptText;
    if (!args.script.empty()) {
        if (!tools::ReadWholeFile(args.script, scriptText))
            return UsageError("cannot read the UI script " + tools::Utf8(args.script));
        const uiscript::Script parsed = uiscript::Parse(scriptText);
        if (!parsed.ok())
            return UsageError("UI script " + tools::Utf8(args.script) + " line " +
                              std::to_string(parsed.errors.front().line) + ": " + parsed.errors.front().message);
    }

    const std::wstring programFolder = tools::ModuleFolder(nullptr);
    if (args.host.accessoryFolder.empty()) args.host.accessoryFolder = programFolder + L"..\\accessory";
    args.host.accessoryFolder = WithBackslash(FullPath(args.host.accessoryFolder));
    if (args.host.dataFolder.empty()) {
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH, temp);
        args.host.dataFolder = std::wstring(temp) + L"tarvex-sim-data";
    }
    args.host.dataFolder = FullPath(args.host.dataFolder);
    ::CreateDirectoryW(args.host.dataFolder.c_str(), nullptr);
    if (!args.host.saveRedirect.empty()) args.host.saveRedirect = FullPath(args.host.saveRedirect);
    if (!args.screenshots.empty()) args.screenshots = FullPath(args.screenshots);
    if (!args.dll.empty()) args.dll = FullPath(args.dll);

    if (!sim::Log().Open(args.log)) return UsageError("cannot write the log file " + tools::Utf8(args.log));

    // The host process as the component expects it: an STA with OLE, the
    // common controls and the rich edit library loaded, GDI+ running.
    ::OleInitialize(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::LoadLibraryW(L"riched20.dll");
    Gdiplus::GdiplusStartupInput gdiplusInput;
    ULONG_PTR gdiplusToken = 0;
    Gdiplus::GdiplusStartup(&gdiplusToken, &gdiplusInput, nullptr);

    args.host.mainWindow = CreateMainWindow();

    IUnknown* component = nullptr;
    std::string error;
    if (FAILED(CreateComponent(args, &component, error)) || !component) {
        Print(stderr, "tarvex-sim: " + error + "\n");
        return kExitComponent;
    }

    IAccessoryHost* host = sim::CreateHost(args.host);
    ICategoryPreferences* preferences = sim::CreatePreferences(args.host);
    if (auto* init = Query<IComponentInitialize>(component, IID_IComponentInitialize)) {
        init->Initialize(host, 0, 0);
        init->Release();
    }
    if (auto* wants = Query<IComponentWantsCategoryPreferences>(component, IID_IComponentWantsCategoryPreferences)) {
        wants->SetCategoryPreferences(preferences);
        wants->Release();
    }

    // The script runs beside the entry point from here on.
    HANDLE entryReturned = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE scriptDone = ::CreateEventW(nullptr, TRUE, scriptText.empty(), nullptr);
    std::thread scriptThread;
    if (!scriptText.empty()) {
        uiscript::Options options;
        options.screenshotFolder = args.screenshots;
        options.onMessageBox = [](const uiscript::MessageBoxSeen& box) {
            sim::Log().MessageBox(box.caption, box.text, box.buttons, box.answer);
        };
        options.log = [](const std::string& line) { Print(stderr, "ui: " + line + "\n"); };
        scriptThread = std::thread([=] {
            uiscript::Result result = uiscript::RunScript(scriptText, options);
            if (!result.ok) EndWithUiFailure(result.message);
            // A dialog that the script left open would hold the entry point forever.
            if (::WaitForSingleObject(entryReturned, kLingerMs) == WAIT_TIMEOUT)
                EndWithUiFailure("the script ended, but the entry point did not return within 15 s "
                                 "(a dialog is still waiting for an answer)");
            ::SetEvent(scriptDone);
        });
    }

    HRESULT hr = E_NOTIMPL;
    std::string missing;
    if (args.command == L"menu") {
        if (auto* menu = Query<IOutputMenu>(component, IID_IOutputMenu)) {
            BSTR text = nullptr;
            hr = menu->GetMenu(&text);
            if (SUCCEEDED(hr)) Print(stdout, tools::Utf8(text ? std::wstring(text, ::SysStringLen(text)) : L"") + "\n");
            ::SysFreeString(text);
            menu->Release();
        } else missing = "IOutputMenu";
    } else if (args.command == L"command") {
        if (auto* menu = Query<IOutputMenu>(component, IID_IOutputMenu)) {
            hr = menu->OnMenuCommand(args.commandId.c_str());
            menu->Release();
        } else missing = "IOutputMenu";
    } else if (args.command == L"send") {
        if (auto* output = Query<IOutput>(component, IID_IOutput)) {
            hr = output->Send();
            output->Release();
        } else missing = "IOutput";
    } else if (args.command == L"options") {
        if (auto* options = Query<IPackageOptionsUI>(component, IID_IPackageOptionsUI)) {
            hr = options->ShowOptionsUI();
            options->Release();
        } else missing = "IPackageOptionsUI";
    } else if (args.command == L"open-last") {
        if (auto* output = Query<IOutput2>(component, IID_IOutput2)) {
            hr = output->OpenLastResult();
            output->Release();
        } else missing = "IOutput2";
    }
    if (args.openLast && missing.empty()) {
        // What the host does when the user asks for the last result again:
        // on the same object, after the command. Its HRESULT is not logged;
        // the address opened is what counts.
        if (auto* output = Query<IOutput2>(component, IID_IOutput2)) {
            output->OpenLastResult();
            output->Release();
        } else missing = "IOutput2";
    }
    ::SetEvent(entryReturned);
    if (!missing.empty()) {
        Print(stderr, "tarvex-sim: the component does not implement " + missing + "\n");
        if (scriptThread.joinable()) scriptThread.detach();  // ends with the process
        return kExitComponent;
    }
    sim::Log().Result(hr);

    // Let what the entry point left on screen (a notice) live out its life,
    // and the script finish its steps.
    const DWORD start = ::GetTickCount();
    while (::WaitForSingleObject(scriptDone, 0) != WAIT_OBJECT_0 ||
           (ComponentWindowOpen(args.host.mainWindow) && ::GetTickCount() - start < kLingerMs))
        PumpFor(20);
    if (scriptThread.joinable()) scriptThread.join();

    component->Release();
    preferences->Release();
    host->Release();
    ::DestroyWindow(args.host.mainWindow);
    Gdiplus::GdiplusShutdown(gdiplusToken);
    ::OleUninitialize();
    return kExitOk;
}
