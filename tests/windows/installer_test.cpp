// Velluma-Setup.exe in the test prefix: the silent install and the host
// creating the installed component through COM, an upgrade, an upgrade while
// the component is loaded, a registration that fails, the silent uninstall
// and, for the screenshots, the pages a user clicks through.
//
// Every test installs into the prefix's Program Files and leaves it as it
// found it: the fixture refuses to start over an installed Velluma and
// uninstalls whatever a test left installed. ctest runs these alone, beside
// nothing that registers the component (RESOURCE_LOCK registry).

#include "tests/windows/sim_harness.h"
#include "tools/uiscript/runner.h"

#include <gtest/gtest.h>

#include <objbase.h>
#include <oleauto.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace simtest;

const wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velluma";
const wchar_t kUninstallRoot[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const wchar_t kOutputClsid[] = L"{9AB40107-F686-4c1b-833B-9F62832EAD8A}";
const wchar_t kPackageClsid[] = L"{554FE262-8C09-4587-91FB-A97A47F545CD}";
const wchar_t kTypeLib[] = L"{3EC0485E-2819-482A-A879-ED903FEB3078}";
const wchar_t kHostTypeLib[] = L"{49A23F8B-91B7-49AB-8DC3-8E4F56FCB17A}";
const wchar_t kProbeKey[] = L"Velluma.RegistrationProbe";  // what the failing stand-in registers

// Every key the component's registry scripts and its type library write,
// the NoRemove roots AppID and CLSID aside.
const wchar_t* const kComponentKeys[] = {
    L"Velluma.VellumaOutput", L"Velluma.VellumaOutput.1", L"Velluma.Package", L"Velluma.Package.1",
    L"CLSID\\{9AB40107-F686-4c1b-833B-9F62832EAD8A}", L"CLSID\\{554FE262-8C09-4587-91FB-A97A47F545CD}",
    L"AppID\\{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}", L"AppID\\Velluma.DLL",
    L"TypeLib\\{3EC0485E-2819-482A-A879-ED903FEB3078}",
};
const char* const kInstalledFiles[] = {"Velluma.dll", "Velluma.ico", "KeloPublish.dll", "Uninstall.exe"};

// The installer's exit codes.
constexpr DWORD kExitInUse = 3, kExitRegistration = 4;

std::string Narrow(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// --- the registry (this 64-bit program reads the 64-bit view) -----------------

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
    ::RegCloseKey(key);
    return true;
}

std::optional<std::wstring> ReadString(HKEY root, const std::wstring& path, const wchar_t* name) {
    wchar_t buffer[1024] = {};
    DWORD size = sizeof buffer;
    if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return std::wstring(buffer);
}

std::optional<DWORD> ReadDword(HKEY root, const std::wstring& path, const wchar_t* name) {
    DWORD value = 0, size = sizeof value;
    if (::RegGetValueW(root, path.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    return value;
}

std::vector<std::wstring> Subkeys(HKEY root, const std::wstring& path, REGSAM view = KEY_WOW64_64KEY) {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    ::RegCloseKey(key);
    return names;
}

// Uninstall entries (either registry view) that name Velluma.
std::vector<std::wstring> VellumaEntries(REGSAM view) {
    std::vector<std::wstring> found;
    for (const auto& name : Subkeys(HKEY_LOCAL_MACHINE, kUninstallRoot, view)) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallRoot) + L"\\" + name).c_str(), 0,
                            KEY_READ | view, &key) != ERROR_SUCCESS)
            continue;
        wchar_t display[256] = {};
        DWORD size = sizeof display;
        if (::RegGetValueW(key, nullptr, L"DisplayName", RRF_RT_REG_SZ, nullptr, display, &size) == ERROR_SUCCESS &&
            std::wstring(display).find(L"Velluma") != std::wstring::npos)
            found.push_back(name);
        ::RegCloseKey(key);
    }
    return found;
}

std::vector<std::string> ComponentKeysLeft() {
    std::vector<std::string> left;
    for (const wchar_t* key : kComponentKeys)
        if (KeyExists(HKEY_CLASSES_ROOT, key)) left.push_back(Narrow(key));
    return left;
}

// --- files and programs ------------------------------------------------------------

fs::path ProgramFiles() {
    PWSTR path = nullptr;
    fs::path result;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &path))) result = path;
    ::CoTaskMemFree(path);
    return result;
}

fs::path SetupExe() { return ProgramFolder().parent_path() / "Velluma-Setup.exe"; }
fs::path BadRegistrationSetupExe() { return ProgramFolder() / "Velluma-Setup-BadRegistration.exe"; }
fs::path ScreenshotFolder() { return ProgramFolder().parent_path() / "screenshots"; }

// The identity of a file (its volume and index): a file that was replaced
// has another one, one that was renamed away and back keeps it.
std::optional<std::pair<DWORD, ULONGLONG>> FileIdentity(const fs::path& path) {
    HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    const BOOL got = ::GetFileInformationByHandle(file, &info);
    ::CloseHandle(file);
    if (!got) return std::nullopt;
    return std::make_pair(info.dwVolumeSerialNumber, (ULONGLONG(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

std::wstring FileVersionOf(const fs::path& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
    std::vector<BYTE> data(size);
    if (!size || !::GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return L"<no version record>";
    wchar_t* text = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(data.data(), L"\\StringFileInfo\\040904e4\\FileVersion", reinterpret_cast<void**>(&text),
                          &length))
        return L"<no FileVersion>";
    return text;
}

struct TreeRun {
    DWORD exitCode = 0;
    bool timedOut = false;
};

// Runs a command line and waits for it and for every process it starts: the
// uninstaller hands its work to a copy of itself in the temporary folder and
// returns at once. The exit code is the first process's.
TreeRun RunTree(std::wstring commandLine, DWORD timeoutMs = 120000) {
    TreeRun run;
    HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                          &startup, &process)) {
        ::CloseHandle(job);
        run.exitCode = static_cast<DWORD>(-1);
        return run;
    }
    ::AssignProcessToJobObject(job, process.hProcess);
    ::ResumeThread(process.hThread);
    const DWORD start = ::GetTickCount();
    if (::WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_TIMEOUT) run.timedOut = true;
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!::QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                         nullptr) ||
            accounting.ActiveProcesses == 0)
            break;
        if (::GetTickCount() - start >= timeoutMs) {
            run.timedOut = true;
            break;
        }
        ::Sleep(50);
    }
    ::CloseHandle(process.hProcess);
    ::CloseHandle(process.hThread);
    ::CloseHandle(job);  // ends anything still running
    return run;
}

std::wstring Quoted(const fs::path& path) { return L"\"" + path.wstring() + L"\""; }

// A visible message box of the process whose text holds `part`.
HWND FindMessageBox(DWORD processId, const std::wstring& part) {
    struct Search { DWORD pid; const std::wstring* part; HWND found; } search{processId, &part, nullptr};
    ::EnumWindows([](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        if (pid != s->pid || !::IsWindowVisible(window)) return TRUE;
        HWND text = ::GetDlgItem(window, 0xFFFF);
        wchar_t buffer[1024] = {};
        if (text && ::GetWindowTextW(text, buffer, 1024) && std::wstring(buffer).find(*s->part) != std::wstring::npos) {
            s->found = window;
            return FALSE;
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

uiscript::Result RunUi(DWORD processId, const std::string& script) {
    uiscript::Options options;
    options.processId = processId;
    options.timeoutMs = 30000;
    options.screenshotFolder = ScreenshotFolder().wstring();
    return uiscript::RunScript(script, options);
}

// --- the fixture ----------------------------------------------------------------

class Installer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(SetupExe())) << Narrow(SetupExe().wstring());
        ASSERT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey))
            << "Velluma is installed in this prefix already; uninstall it before running these tests";
        ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + kOutputClsid))
            << "Velluma is registered in this prefix already (regsvr32 /u it first)";
        defaultFolder_ = ProgramFiles() / "Velluma";
        ASSERT_FALSE(fs::exists(defaultFolder_)) << Narrow(defaultFolder_.wstring()) << " exists already";
        hostTypeLibBefore_ = KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kHostTypeLib);
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    }

    void TearDown() override {
        held_.reset();
        ReleaseComponent();
        // Whatever a test left installed goes the way a user removes it.
        if (auto quiet = ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString")) {
            const TreeRun run = RunTree(*quiet);
            EXPECT_FALSE(run.timedOut);
        }
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) << "the uninstall entry is left behind";
        EXPECT_TRUE(ComponentKeysLeft().empty());
        std::error_code ignored;
        for (const auto& folder : extraFolders_) fs::remove_all(folder, ignored);
        ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProbeKey);
        // The host simulator registers the host's type library when it
        // creates the component through COM: take it away again.
        if (!hostTypeLibBefore_ && KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kHostTypeLib)) {
            GUID libid{};
            ::CLSIDFromString(kHostTypeLib, &libid);
            for (LCID lcid : {LCID(0), LCID(0x409)}) ::UnRegisterTypeLib(libid, 1, 0, lcid, SYS_WIN64);
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kHostTypeLib));
        }
        ::CoUninitialize();
    }

    TreeRun Setup(const fs::path& exe, const std::wstring& folder = {}) {
        std::wstring commandLine = Quoted(exe) + L" /S";
        if (!folder.empty()) commandLine += L" /D=" + folder;  // NSIS takes /D= last and unquoted
        return RunTree(commandLine);
    }

    // The host simulator, creating the component through COM (no --dll),
    // with the installed folder as its accessory folder. Its temporary
    // folder, and so the data folder it names by default, is `temp`.
    RunResult Host(const std::vector<std::wstring>& args, const fs::path& accessory, const TempFolder& temp,
                   const std::string& script = {}) {
        std::vector<std::wstring> all = args;
        all.insert(all.end(), {L"--accessory", accessory.wstring(), L"--log", (temp / "host.jsonl").wstring()});
        if (!script.empty()) {
            WriteFile(temp / "answer.ui", script);
            all.insert(all.end(), {L"--ui", (temp / "answer.ui").wstring()});
        }
        return RunProgram(ProgramFolder() / "tarvex-sim.exe", all, temp.path());
    }

    // The host's data folder, as the simulator names it.
    static fs::path DataFolder(const TempFolder& temp) { return temp / "tarvex-sim-data"; }

    void ExpectInstalledAt(const fs::path& folder) {
        for (const char* name : kInstalledFiles) EXPECT_TRUE(fs::exists(folder / name)) << name;
        const std::wstring dll = (folder / "Velluma.dll").wstring();
        for (const wchar_t* clsid : {kOutputClsid, kPackageClsid})
            EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32", nullptr),
                      dll);
        EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kTypeLib + L"\\1.0\\409\\win64", nullptr), dll);
        EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"InstallLocation"), folder.wstring());
    }

    // Creates the installed component in this process, as the host does,
    // and keeps it (and so Velluma.dll) loaded.
    void HoldComponent(const fs::path& folder) {
        CLSID clsid{};
        ASSERT_EQ(::CLSIDFromString(kOutputClsid, &clsid), S_OK);
        IUnknown* object = nullptr;
        ASSERT_EQ(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
                  S_OK);
        held_.reset(object);
        ASSERT_NE(::GetModuleHandleW((folder / "Velluma.dll").c_str()), nullptr) << "not loaded from the installed folder";
    }

    void ReleaseComponent() {
        held_.reset();
        for (int i = 0; i < 50 && ::GetModuleHandleW(L"Velluma.dll"); ++i) {
            ::CoFreeUnusedLibrariesEx(0, 0);
            if (::GetModuleHandleW(L"Velluma.dll")) ::Sleep(20);
        }
        ASSERT_EQ(::GetModuleHandleW(L"Velluma.dll"), nullptr) << "COM kept Velluma.dll loaded";
    }

    struct Release {
        void operator()(IUnknown* p) const { p->Release(); }
    };
    std::unique_ptr<IUnknown, Release> held_;
    fs::path defaultFolder_;
    std::vector<fs::path> extraFolders_;
    bool hostTypeLibBefore_ = false;
};

const char kMenu[] = "<menu> <menuitem label=\"Send to Velluma Blog\" id=\"0\" icon=\"Velluma.ico\" />"
                     "<menuseparator /> <menuitem label=\"Options\" id=\"1\" /></menu>\n";

TEST_F(Installer, SilentInstallRegistersTheComponentForTheHost) {
    const TreeRun run = Setup(SetupExe());
    ASSERT_FALSE(run.timedOut);
    ASSERT_EQ(run.exitCode, 0u);
    ExpectInstalledAt(defaultFolder_);

    // The installed-programs entry, with the version the DLL carries.
    const std::wstring key = kUninstallKey;
    const std::wstring folder = defaultFolder_.wstring();
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"DisplayName"), L"Velluma");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"DisplayVersion"), fs::path(VELLUMA_VERSION).wstring());
    EXPECT_EQ(FileVersionOf(defaultFolder_ / "Velluma.dll"), fs::path(VELLUMA_VERSION).wstring());
    EXPECT_TRUE(ReadString(HKEY_LOCAL_MACHINE, key, L"Publisher").value_or(L"").size() > 0);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"DisplayIcon"), folder + L"\\Velluma.ico");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"UninstallString"), L"\"" + folder + L"\\Uninstall.exe\"");
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, key, L"QuietUninstallString"), L"\"" + folder + L"\\Uninstall.exe\" /S");
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, key, L"NoModify"), 1u);
    EXPECT_EQ(ReadDword(HKEY_LOCAL_MACHINE, key, L"NoRepair"), 1u);
    uintmax_t bytes = 0;
    for (const char* name : kInstalledFiles) bytes += fs::file_size(defaultFolder_ / name);
    EXPECT_NEAR(double(ReadDword(HKEY_LOCAL_MACHINE, key, L"EstimatedSize").value_or(0)), double(bytes) / 1024, 4.0);
    // 64-bit registry view only: nothing under the 32-bit one.
    EXPECT_TRUE(VellumaEntries(KEY_WOW64_32KEY).empty());

    // The host creates the component through COM, from Program Files.
    TempFolder temp;
    RunResult menu = Host({L"menu"}, defaultFolder_, temp);
    ASSERT_EQ(menu.exitCode, 0u) << menu.err;
    EXPECT_EQ(menu.out, kMenu);
    // The options dialog comes up from the installed DLL's resources.
    RunResult options = Host({L"options"}, defaultFolder_, temp, "waitclass \"#32770\"\nexpect 406 visible\nclick 2\n");
    EXPECT_EQ(options.exitCode, 0u) << options.err;
    EXPECT_NE(ReadFile(temp / "host.jsonl").find("\"event\":\"result\""), std::string::npos) << ReadFile(temp / "host.jsonl");
}

// After the silent install, a whole send through COM with the installed
// KeloPublish.dll, to the local blog that tests/e2e/test_installed.py runs
// and names in VELLUMA_LOCAL_BLOG (it also checks the blog got the post).
// Without that blog there is nothing to send to: the test says so and skips.
TEST_F(Installer, SilentInstallSendsToTheLocalBlog) {
    wchar_t blog[512] = {};
    if (::GetEnvironmentVariableW(L"VELLUMA_LOCAL_BLOG", blog, 512) == 0)
        GTEST_SKIP() << "run by the e2e_installed test, which starts the local blog";
    wchar_t user[256] = {}, password[256] = {};
    ::GetEnvironmentVariableW(L"VELLUMA_LOCAL_BLOG_USER", user, 256);
    ::GetEnvironmentVariableW(L"VELLUMA_LOCAL_BLOG_PASSWORD", password, 256);
    ASSERT_EQ(Setup(SetupExe()).exitCode, 0u);
    ExpectInstalledAt(defaultFolder_);

    TempFolder temp;
    RunResult send = Host({L"send", L"--alert"}, defaultFolder_, temp,
                          "wait \"Velluma Login\"\n"
                          "set 219 \"" + Narrow(blog) + "\"\n"
                          "set 216 \"" + Narrow(user) + "\"\n"
                          "set 217 \"" + Narrow(password) + "\"\n"
                          "click 1\n"
                          "wait \"Blog Editor\"\n"
                          "set 1028 \"Sent by the installed Velluma\"\n"
                          "click 3017\n");
    ASSERT_EQ(send.exitCode, 0u) << send.err;
    const std::string log = ReadFile(temp / "host.jsonl");
    EXPECT_EQ(Lines(log).back(), R"({"event":"result","hresult":"0x00000000"})") << log;
    EXPECT_EQ(log.find(R"("event":"messagebox")"), std::string::npos) << log;
    // The notice leads to the post on that blog.
    EXPECT_NE(log.find(R"("method":"ShowAlert")"), std::string::npos) << log;
    EXPECT_NE(log.find(Narrow(blog) + "?p="), std::string::npos) << log;
}

TEST_F(Installer, InstallingAgainLeavesOneRegistrationAndOneEntry) {
    ASSERT_EQ(Setup(SetupExe()).exitCode, 0u);
    const auto before = FileIdentity(defaultFolder_ / "Velluma.dll");
    ASSERT_EQ(Setup(SetupExe()).exitCode, 0u);
    ExpectInstalledAt(defaultFolder_);
    EXPECT_NE(FileIdentity(defaultFolder_ / "Velluma.dll"), before) << "the upgrade did not replace Velluma.dll";
    for (const auto& entry : fs::directory_iterator(defaultFolder_))
        EXPECT_NE(entry.path().extension(), ".previous") << Narrow(entry.path().wstring());
    EXPECT_EQ(VellumaEntries(KEY_WOW64_64KEY).size(), 1u);
    EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT, std::wstring(L"TypeLib\\") + kTypeLib), std::vector<std::wstring>{L"1.0"});

    // Another folder (/D=): the installation moves, the old folder goes.
    const fs::path moved = ProgramFiles() / "Velluma Moved";
    extraFolders_.push_back(moved);
    ASSERT_EQ(Setup(SetupExe(), moved.wstring()).exitCode, 0u);
    ExpectInstalledAt(moved);
    EXPECT_FALSE(fs::exists(defaultFolder_));
    EXPECT_EQ(VellumaEntries(KEY_WOW64_64KEY).size(), 1u);
    TempFolder temp;
    RunResult menu = Host({L"menu"}, moved, temp);
    EXPECT_EQ(menu.exitCode, 0u) << menu.err;
    EXPECT_EQ(menu.out, kMenu);
}

TEST_F(Installer, SilentUninstallRemovesEverythingButTheSettings) {
    ASSERT_EQ(Setup(SetupExe()).exitCode, 0u);
    // The user remembers an account in the options: both settings files.
    TempFolder temp;
    RunResult options = Host({L"options"}, defaultFolder_, temp,
                             "waitclass \"#32770\"\ncheck 406\nset 408 \"ann\"\nset 405 \"secret\"\n"
                             "set 1009 \"blog.example\"\nset 1010 \"/xmlrpc.php\"\nclick 1\n");
    ASSERT_EQ(options.exitCode, 0u) << options.err;
    const std::string settings = ReadFile(DataFolder(temp) / "UserSettings.xml");
    const std::string prefs = ReadFile(DataFolder(temp) / "UserPrefs.xml");
    ASSERT_NE(settings.find("ann"), std::string::npos);
    ASSERT_FALSE(prefs.empty());

    // As the installed-programs list runs it: the quiet uninstall command.
    const auto quiet = ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString");
    ASSERT_TRUE(quiet);
    const TreeRun run = RunTree(*quiet);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);

    EXPECT_FALSE(fs::exists(defaultFolder_)) << "the installation folder is left";
    EXPECT_EQ(ComponentKeysLeft(), std::vector<std::string>{});
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
    EXPECT_TRUE(VellumaEntries(KEY_WOW64_64KEY).empty());
    EXPECT_EQ(ReadFile(DataFolder(temp) / "UserSettings.xml"), settings);
    EXPECT_EQ(ReadFile(DataFolder(temp) / "UserPrefs.xml"), prefs);
}

TEST_F(Installer, WhileTheHostHoldsTheDllNothingIsReplacedOrRemoved) {
    ASSERT_EQ(Setup(SetupExe()).exitCode, 0u);
    std::vector<std::optional<std::pair<DWORD, ULONGLONG>>> identities;
    for (const char* name : kInstalledFiles) identities.push_back(FileIdentity(defaultFolder_ / name));
    const auto entryVersion = ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion");
    ASSERT_NO_FATAL_FAILURE(HoldComponent(defaultFolder_));

    // Silent mode answers the "close the host" prompt with Cancel.
    const TreeRun upgrade = Setup(SetupExe());
    ASSERT_FALSE(upgrade.timedOut);
    EXPECT_EQ(upgrade.exitCode, kExitInUse);
    const auto quiet = ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"QuietUninstallString");
    ASSERT_TRUE(quiet);
    const TreeRun uninstall = RunTree(*quiet);
    ASSERT_FALSE(uninstall.timedOut);

    for (size_t i = 0; i < std::size(kInstalledFiles); ++i)
        EXPECT_EQ(FileIdentity(defaultFolder_ / kInstalledFiles[i]), identities[i]) << kInstalledFiles[i] << " was touched";
    for (const auto& entry : fs::directory_iterator(defaultFolder_))
        EXPECT_NE(entry.path().extension(), ".previous") << Narrow(entry.path().wstring());
    ExpectInstalledAt(defaultFolder_);
    EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion"), entryVersion);

    // With the host gone the upgrade goes through.
    ASSERT_NO_FATAL_FAILURE(ReleaseComponent());
    EXPECT_EQ(Setup(SetupExe()).exitCode, 0u);
    ExpectInstalledAt(defaultFolder_);
}

TEST_F(Installer, FailedRegistrationSaysSoAndRollsBack) {
    ASSERT_TRUE(fs::exists(BadRegistrationSetupExe()));
    // A first installation: nothing stays.
    const TreeRun fresh = Setup(BadRegistrationSetupExe());
    ASSERT_FALSE(fresh.timedOut);
    EXPECT_EQ(fresh.exitCode, kExitRegistration);
    EXPECT_FALSE(fs::exists(defaultFolder_));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kProbeKey)) << "the half-done registration is left";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));

    // Over an installed version: the old set and its registration come back.
    ASSERT_EQ(Setup(SetupExe()).exitCode, 0u);
    std::vector<std::optional<std::pair<DWORD, ULONGLONG>>> identities;
    for (const char* name : kInstalledFiles) identities.push_back(FileIdentity(defaultFolder_ / name));
    const TreeRun upgrade = Setup(BadRegistrationSetupExe());
    ASSERT_FALSE(upgrade.timedOut);
    EXPECT_EQ(upgrade.exitCode, kExitRegistration);
    for (size_t i = 0; i < std::size(kInstalledFiles); ++i)
        EXPECT_EQ(FileIdentity(defaultFolder_ / kInstalledFiles[i]), identities[i]) << kInstalledFiles[i];
    for (const auto& entry : fs::directory_iterator(defaultFolder_))
        EXPECT_NE(entry.path().extension(), ".previous") << Narrow(entry.path().wstring());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kProbeKey));
    ExpectInstalledAt(defaultFolder_);
    TempFolder temp;
    RunResult menu = Host({L"menu"}, defaultFolder_, temp);
    EXPECT_EQ(menu.exitCode, 0u) << menu.err;
    EXPECT_EQ(menu.out, kMenu);
}

// The pages as a user sees them, upgrading while the host still holds the
// DLL, then uninstalling: screenshots into build/windows/screenshots.
TEST_F(Installer, PagesOfAnUpgradeThatWaitsForTheHostAndOfTheUninstall) {
    ASSERT_EQ(Setup(SetupExe()).exitCode, 0u);
    ASSERT_NO_FATAL_FAILURE(HoldComponent(defaultFolder_));
    // The installer's window is the process's only dialog until a message
    // box comes up (its caption carries the page's, empty, subcaption).
    const std::string window = "waitclass \"#32770\"\n";

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = Quoted(SetupExe());
    ASSERT_TRUE(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process));
    struct Closer {
        PROCESS_INFORMATION& p;
        ~Closer() {
            if (::WaitForSingleObject(p.hProcess, 0) == WAIT_TIMEOUT) ::TerminateProcess(p.hProcess, 99);
            ::CloseHandle(p.hProcess);
            ::CloseHandle(p.hThread);
        }
    } closer{process};

    uiscript::Result ui = RunUi(process.dwProcessId, window +
                                "expect 1 text \"&Next >\"\n"
                                "shot installer-1-welcome\n"
                                "click 1\n"
                                "expect 1 text \"&Install\"\n"
                                "shot installer-2-folder\n"
                                "click 1\n");
    ASSERT_TRUE(ui.ok) << ui.message;
    HWND box = nullptr;
    for (int i = 0; i < 1500 && !box; ++i) {
        box = FindMessageBox(process.dwProcessId, L"in use");
        if (!box) ::Sleep(20);
    }
    ASSERT_NE(box, nullptr) << "no \"in use\" message while the host holds Velluma.dll";
    ui = RunUi(process.dwProcessId, "shot installer-3-close-the-host\n");
    ASSERT_TRUE(ui.ok) << ui.message;

    // The user closes the host and retries.
    ASSERT_NO_FATAL_FAILURE(ReleaseComponent());
    ui = RunUi(process.dwProcessId, "answer retry\n"
                                    + window +
                                    "expect 1 enabled\n"
                                    "shot installer-4-installed\n"
                                    "click 1\n"
                                    "expect 1 text \"&Finish\"\n"
                                    "shot installer-5-finish\n"
                                    "click 1\n");
    ASSERT_TRUE(ui.ok) << ui.message;
    ASSERT_EQ(::WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD exitCode = 99;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    ExpectInstalledAt(defaultFolder_);
    EXPECT_EQ(VellumaEntries(KEY_WOW64_64KEY).size(), 1u);

    // The uninstaller's pages, run in place from a copy as it runs itself.
    TempFolder temp;
    fs::copy_file(defaultFolder_ / "Uninstall.exe", temp / "Uninstall.exe");
    std::wstring uninstall = Quoted(temp / "Uninstall.exe") + L" _?=" + defaultFolder_.wstring();
    PROCESS_INFORMATION unprocess{};
    ASSERT_TRUE(::CreateProcessW(nullptr, uninstall.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &unprocess));
    Closer uncloser{unprocess};
    ui = RunUi(unprocess.dwProcessId, window +
                                      "expect 1 text \"&Uninstall\"\n"
                                      "shot uninstaller-1-confirm\n"
                                      "click 1\n"
                                      "expect 1 enabled\n"
                                      "expect 1 text \"&Next >\"\n"
                                      "shot uninstaller-2-removed\n"
                                      "click 1\n"
                                      "expect 1 text \"&Finish\"\n"
                                      "shot uninstaller-3-finish\n"
                                      "click 1\n");
    ASSERT_TRUE(ui.ok) << ui.message;
    ASSERT_EQ(::WaitForSingleObject(unprocess.hProcess, 60000), WAIT_OBJECT_0);
    EXPECT_FALSE(fs::exists(defaultFolder_));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

} // namespace
