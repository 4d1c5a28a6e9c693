// The settings files on disk: their exact bytes, the reading rules, the
// loaders' defaults, and that a broken write never costs the old file.

#include "account/blog_post_session.h"
#include "account/settings_file_win.h"
#include "framework/wide.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <random>
#include <string>

using core::String;

namespace {

// The other process of the lock case: started as this same program with
// VELLUMA_HOLD_FILE set, it opens that file with no sharing at all, signals
// the event VELLUMA_HOLD_READY names, waits for the one VELLUMA_HOLD_RELEASE
// names and exits, all before any test runs.
const bool kIsFileHolder = [] {
    wchar_t path[MAX_PATH] = {}, ready[128] = {}, release[128] = {};
    if (!::GetEnvironmentVariableW(L"VELLUMA_HOLD_FILE", path, MAX_PATH)) return false;
    ::GetEnvironmentVariableW(L"VELLUMA_HOLD_READY", ready, 128);
    ::GetEnvironmentVariableW(L"VELLUMA_HOLD_RELEASE", release, 128);
    HANDLE file = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE readyEvent = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, ready);
    HANDLE releaseEvent = ::OpenEventW(SYNCHRONIZE, FALSE, release);
    if (file == INVALID_HANDLE_VALUE || !readyEvent || !releaseEvent) ::ExitProcess(2);
    ::SetEvent(readyEvent);
    ::WaitForSingleObject(releaseEvent, 60000);
    ::CloseHandle(file);
    ::ExitProcess(0);
}();

// Holds a file open with no sharing from another process for its lifetime.
class OtherProcessHolding {
public:
    explicit OtherProcessHolding(const String& path) {
        const std::wstring tag = std::to_wstring(::GetCurrentProcessId());
        const std::wstring readyName = L"velluma-hold-ready-" + tag, releaseName = L"velluma-hold-release-" + tag;
        ready_ = ::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str());
        release_ = ::CreateEventW(nullptr, TRUE, FALSE, releaseName.c_str());
        wchar_t self[MAX_PATH] = {};
        ::GetModuleFileNameW(nullptr, self, MAX_PATH);
        ::SetEnvironmentVariableW(L"VELLUMA_HOLD_FILE", fw::W(path));
        ::SetEnvironmentVariableW(L"VELLUMA_HOLD_READY", readyName.c_str());
        ::SetEnvironmentVariableW(L"VELLUMA_HOLD_RELEASE", releaseName.c_str());
        std::wstring commandLine = L"\"" + std::wstring(self) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (::CreateProcessW(self, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process)) {
            ::CloseHandle(process.hThread);
            process_ = process.hProcess;
            HANDLE either[] = {ready_, process_};
            holding_ = ::WaitForMultipleObjects(2, either, FALSE, 30000) == WAIT_OBJECT_0;
        }
        for (const wchar_t* name : {L"VELLUMA_HOLD_FILE", L"VELLUMA_HOLD_READY", L"VELLUMA_HOLD_RELEASE"})
            ::SetEnvironmentVariableW(name, nullptr);
    }
    ~OtherProcessHolding() {
        ::SetEvent(release_);
        if (process_) {
            ::WaitForSingleObject(process_, 30000);
            ::CloseHandle(process_);
        }
        ::CloseHandle(ready_);
        ::CloseHandle(release_);
    }
    bool Holding() const { return holding_; }

private:
    HANDLE ready_ = nullptr, release_ = nullptr, process_ = nullptr;
    bool holding_ = false;
};

std::string Narrow(const String& text) {
    return core::ToUtf8(text);
}

const std::string kBom = "\xEF\xBB\xBF";
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n";

std::string PreferencesBytes(int saveText, int hotspot) {
    return kBom + kDeclaration + "<userprefs>\r\n" + "    <SaveText>" + std::to_string(saveText) +
           "</SaveText>\r\n" + "    <DisplayHotspotWarning>" + std::to_string(hotspot) +
           "</DisplayHotspotWarning>\r\n" + "</userprefs>\r\n";
}

class SettingsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t base[MAX_PATH];
        ::GetTempPathW(MAX_PATH, base);
        folder_ = fw::FromWide(base) + u"velluma-settings-" + core::DecimalText(::GetCurrentProcessId()) + u"-" +
                  core::FromAscii(::testing::UnitTest::GetInstance()->current_test_info()->name());
        RemoveTree(folder_);
        ASSERT_TRUE(::CreateDirectoryW(fw::W(folder_), nullptr));
    }
    void TearDown() override {
        settings_file::SetWriteFaultHookForTesting({});
        RemoveTree(folder_);
    }

    static void RemoveTree(const String& path) {
        WIN32_FIND_DATAW entry;
        HANDLE find = ::FindFirstFileW(fw::W(path + u"\\*"), &entry);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                const String name = fw::FromWide(entry.cFileName);
                if (name == u"." || name == u"..") continue;
                const String child = path + u"\\" + name;
                if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
                else ::DeleteFileW(fw::W(child));
            } while (::FindNextFileW(find, &entry));
            ::FindClose(find);
        }
        ::RemoveDirectoryW(fw::W(path));
    }

    String PathOf(const char* name) const { return folder_ + u"\\" + core::FromAscii(name); }

    std::string Bytes(const char* name) const {
        std::string bytes;
        HANDLE file = ::CreateFileW(fw::W(PathOf(name)), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "<missing>";
        char buffer[4096];
        DWORD got = 0;
        while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
        ::CloseHandle(file);
        return bytes;
    }

    void Put(const char* name, const std::string& bytes) const {
        HANDLE file = ::CreateFileW(fw::W(PathOf(name)), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        ::CloseHandle(file);
        ASSERT_EQ(written, bytes.size());
    }

    bool Exists(const char* name) const { return settings_file::Exists(PathOf(name)); }

    BlogPostSession Session() const {
        BlogPostSession session;
        session.dataFolder = folder_;
        return session;
    }

    BlogPostSession Account(const String& password, const String& login, const String& server,
                            const String& endpoint) const {
        BlogPostSession session = Session();
        session.password = password;
        session.login = login;
        session.server = server;
        session.endpoint = endpoint;
        return session;
    }

    String folder_;
};

// Reads back a stored account into a fresh session, as a send does.
struct Loaded {
    bool preferences, account;
    int saveText, hotspot;
    std::string password, login, server, endpoint;
};

Loaded LoadAll(const String& folder) {
    BlogPostSession session;
    session.dataFolder = folder;
    Loaded loaded{};
    loaded.preferences = session.LoadPreferences(session.saveText);
    loaded.account = session.LoadAccount();
    loaded.saveText = session.saveText;
    loaded.hotspot = session.displayHotspotWarning;
    loaded.password = Narrow(session.password);
    loaded.login = Narrow(session.login);
    loaded.server = Narrow(session.server);
    loaded.endpoint = Narrow(session.endpoint);
    return loaded;
}

} // namespace

TEST_F(SettingsFiles, BothFilesAreWrittenByteForByte) {
    // "pa/ss" scrambles (key 0x13) to "cr<``", whose "<" is escaped.
    BlogPostSession session = Account(u"pa/ss", u"Zo\u00eb & 'co' <x>", u"http://h/?a=1&b=2", u"/xmlrpc.php");
    EXPECT_TRUE(session.SavePreferences(1));

    EXPECT_EQ(Bytes("UserSettings.xml"),
              kBom + kDeclaration + "<userprefs>\r\n"
                                    "    <StoredText>cr&lt;``</StoredText>\r\n"
                                    "    <Login>Zo\xC3\xAB &amp; &apos;co&apos; &lt;x&gt;</Login>\r\n"
                                    "    <Server>http://h/?a=1&b=2</Server>\r\n"
                                    "    <Endpoint>/xmlrpc.php</Endpoint>\r\n"
                                    "</userprefs>\r\n");
    EXPECT_EQ(Bytes("UserPrefs.xml"), PreferencesBytes(1, 1));
    EXPECT_EQ(Narrow(session.login), "Zo\xC3\xAB & 'co' <x>") << "the field keeps the name as entered";
    EXPECT_FALSE(Exists("UserSettings.xml.tmp"));

    session.displayHotspotWarning = 0;
    session.SavePreferences(0);
    EXPECT_EQ(Bytes("UserPrefs.xml"), PreferencesBytes(0, 0));
}

TEST_F(SettingsFiles, AccountRoundTrips) {
    struct Case {
        const char* what;
        String password, login, server, endpoint;
        std::string expectedServer, expectedEndpoint;
    };
    const Case cases[] = {
        {"plain", u"secret", u"ann", u"https://example.org", u"/xmlrpc.php", "https://example.org", "/xmlrpc.php"},
        {"markup in the user name and password", u"<&>\"'", u"a&b<c>\"d'", u"s", u"e", "s", "e"},
        {"escaped text typed as a user name", u"pw", u"&lt;&amp;", u"s", u"e", "s", "e"},
        {"accented password in the code page", u"p\u00e4ssw\u00f6rd", u"ann", u"s", u"e", "s", "e"},
        // Server and endpoint are written raw: ">" and quotes come back as
        // they are, a bare reference is unescaped, and "<" loses the field.
        {"quotes and '>' in the server", u"pw", u"ann", u"a>b \"c\" 'd'", u"/e&amp;", "a>b \"c\" 'd'", "/e&"},
        {"'<' in the server", u"pw", u"ann", u"a<b", u"/e", "", "/e"},
    };
    for (const Case& c : cases) {
        BlogPostSession session = Account(c.password, c.login, c.server, c.endpoint);
        session.SavePreferences(1);
        const Loaded loaded = LoadAll(folder_);
        EXPECT_TRUE(loaded.preferences) << c.what;
        EXPECT_TRUE(loaded.account) << c.what;
        EXPECT_EQ(loaded.saveText, 1) << c.what;
        EXPECT_EQ(loaded.password, Narrow(c.password)) << c.what;
        EXPECT_EQ(loaded.login, Narrow(c.login)) << c.what;
        EXPECT_EQ(loaded.server, c.expectedServer) << c.what;
        EXPECT_EQ(loaded.endpoint, c.expectedEndpoint) << c.what;
    }
}

TEST_F(SettingsFiles, PasswordOutsideTheCodePageLoadsAsItsDefaultCharacter) {
    ASSERT_EQ(::GetACP(), 1252u) << "the cases below assume the Western code page";
    Account(u"p\u4e2d", u"ann", u"s", u"e").SavePreferences(1);
    EXPECT_EQ(LoadAll(folder_).password, "p?");
}

TEST_F(SettingsFiles, PasswordThatScramblingWouldCutIsNotStored) {
    Account(u"old", u"ann", u"s", u"e").SavePreferences(1);
    const std::string before = Bytes("UserSettings.xml");

    const char16_t key = static_cast<char16_t>(settings_file::kScrambleKey);
    const String refused[] = {String(u"ab") + key + u"cd", String(u"ab") + key};
    for (const String& password : refused) {
        BlogPostSession session = Account(password, u"bob", u"s2", u"e2");
        EXPECT_FALSE(session.SaveAccount());
        session.SavePreferences(1);
        EXPECT_EQ(Bytes("UserSettings.xml"), before) << "the old account stays";
        EXPECT_EQ(Bytes("UserPrefs.xml"), PreferencesBytes(1, 1));
    }
    EXPECT_EQ(LoadAll(folder_).password, "old");
}

TEST_F(SettingsFiles, RememberingOffDeletesTheAccountAndEmptyLoginKeepsIt) {
    Account(u"pw", u"ann", u"s", u"e").SavePreferences(1);
    const std::string stored = Bytes("UserSettings.xml");

    BlogPostSession noLogin = Account(u"pw", u"", u"s", u"e");
    EXPECT_FALSE(noLogin.SaveAccount());
    noLogin.SavePreferences(1);
    EXPECT_EQ(Bytes("UserSettings.xml"), stored);
    EXPECT_EQ(Bytes("UserPrefs.xml"), PreferencesBytes(1, 1));

    BlogPostSession noPassword = Account(u"", u"ann", u"s", u"e");
    EXPECT_FALSE(noPassword.SaveAccount());
    EXPECT_EQ(Bytes("UserSettings.xml"), stored);

    Account(u"pw", u"ann", u"s", u"e").SavePreferences(0);
    EXPECT_FALSE(Exists("UserSettings.xml"));
    EXPECT_EQ(Bytes("UserPrefs.xml"), PreferencesBytes(0, 1));
    const Loaded loaded = LoadAll(folder_);
    EXPECT_TRUE(loaded.preferences);
    EXPECT_FALSE(loaded.account);
    EXPECT_EQ(loaded.saveText, 0);
}

TEST_F(SettingsFiles, LoadPreferencesReadsExactFlagsAndDefaults) {
    struct Case {
        const char* what;
        std::string bytes;  // nullptr-like "<none>": no file
        bool result;
        int saveText, hotspot;  // starting from saveText 1, hotspot 0
    };
    const std::string head = kBom + "<userprefs>";
    const Case cases[] = {
        {"no file", "<none>", false, 0, 0},
        {"no root", kBom + "<prefs><SaveText>1</SaveText></prefs>", false, 1, 0},
        {"empty file", "", false, 1, 0},
        {"written form", PreferencesBytes(1, 0), true, 1, 0},
        {"'true' is off, 'false' is on", head + "<SaveText>true</SaveText><DisplayHotspotWarning>false</DisplayHotspotWarning></userprefs>", true, 0, 1},
        {"empty warning is on", head + "<SaveText>1</SaveText><DisplayHotspotWarning></DisplayHotspotWarning></userprefs>", true, 1, 1},
        {"missing elements", head + "</userprefs>", true, 0, 1},
        {"' 1' is not '1'", head + "<SaveText> 1</SaveText><DisplayHotspotWarning>00</DisplayHotspotWarning></userprefs>", true, 0, 1},
        {"UTF-16 file", std::string("\xFF\xFE<\0u\0", 6), false, 1, 0},
    };
    for (const Case& c : cases) {
        ::DeleteFileW(fw::W(PathOf("UserPrefs.xml")));
        if (c.bytes != "<none>") Put("UserPrefs.xml", c.bytes);
        BlogPostSession session = Session();
        session.saveText = 1;
        session.displayHotspotWarning = 0;
        EXPECT_EQ(session.LoadPreferences(session.saveText), c.result) << c.what;
        EXPECT_EQ(session.saveText, c.saveText) << c.what;
        EXPECT_EQ(session.displayHotspotWarning, c.hotspot) << c.what;
    }
}

TEST_F(SettingsFiles, ReadFollowsTheByteOrderMarkRules) {
    ASSERT_EQ(::GetACP(), 1252u) << "the cases below assume the Western code page";
    struct Case {
        const char* what;
        std::string bytes;
        bool result;
        String text;
    };
    const Case cases[] = {
        {"UTF-8 mark", kBom + "a\xC3\xA9", true, u"a\u00e9"},
        {"no mark: ANSI code page", "a\xE9\x80", true, u"a\u00e9\u20ac"},
        {"half a mark is text", "\xEF\xBB", true, u"\u00ef\u00bb"},
        {"UTF-16 little endian", std::string("\xFF\xFE" "a\0", 4), false, u""},
        {"UTF-16 big endian", std::string("\xFE\xFF\0a", 4), false, u""},
        {"zero byte ends the text", std::string("abc\0def", 7), true, u"abc"},
        {"zero byte after the mark", kBom + std::string("ab\0c", 4), true, u"ab"},
        {"empty", "", true, u""},
    };
    for (const Case& c : cases) {
        Put("file.txt", c.bytes);
        String text = u"stale";
        EXPECT_EQ(settings_file::Read(PathOf("file.txt"), text), c.result) << c.what;
        EXPECT_EQ(Narrow(text), Narrow(c.text)) << c.what;
    }
    String text;
    EXPECT_FALSE(settings_file::Read(PathOf("missing.txt"), text));
}

TEST_F(SettingsFiles, LoadAccountTakesNothingFromAUtf16File) {
    const std::u16string content = u"\uFEFF<userprefs><StoredText>x</StoredText><Login>ann</Login></userprefs>";
    Put("UserSettings.xml", std::string(reinterpret_cast<const char*>(content.data()), content.size() * 2));
    BlogPostSession session = Session();
    session.login = u"kept";
    EXPECT_FALSE(session.LoadAccount());
    EXPECT_EQ(Narrow(session.login), "kept");
}

TEST_F(SettingsFiles, LoadAccountInOddFiles) {
    // Login before StoredText: the password loads, the user name is passed by.
    Put("UserSettings.xml", kBom + "<userprefs><Login>ann</Login><StoredText>cr</StoredText></userprefs>");
    BlogPostSession swapped = Session();
    EXPECT_TRUE(swapped.LoadAccount());
    EXPECT_EQ(Narrow(swapped.password), "pa");
    EXPECT_EQ(Narrow(swapped.login), "");

    // No mark, LF line ends, attributes: read from the ANSI code page all the same.
    Put("UserSettings.xml", "<userprefs>\n<StoredText>cr</StoredText>\n<Login x=\"1\">Zo\xEB</Login>\n</userprefs>\n");
    BlogPostSession plain = Session();
    EXPECT_TRUE(plain.LoadAccount());
    EXPECT_EQ(Narrow(plain.login), "Zo\xC3\xAB");

    BlogPostSession noFolder;
    EXPECT_FALSE(noFolder.LoadAccount());
    int flag = 1;
    EXPECT_FALSE(noFolder.LoadPreferences(flag));
    EXPECT_EQ(flag, 1);
}

TEST_F(SettingsFiles, MissingDataFolderIsCreatedTopDown) {
    BlogPostSession session = Account(u"pw", u"ann", u"s", u"e");
    session.dataFolder = folder_ + u"\\one\\two\\three";
    session.SavePreferences(1);
    EXPECT_TRUE(settings_file::Exists(session.dataFolder + u"\\UserSettings.xml"));
    EXPECT_TRUE(settings_file::Exists(session.dataFolder + u"\\UserPrefs.xml"));

    BlogPostSession trailing = Account(u"pw", u"ann", u"s", u"e");
    trailing.dataFolder = folder_ + u"\\four\\";
    trailing.SavePreferences(1);
    EXPECT_TRUE(settings_file::Exists(folder_ + u"\\four\\UserPrefs.xml"));
}

TEST_F(SettingsFiles, KilledWriteLeavesThePreviousFileWhole) {
    Account(u"first", u"ann", u"s", u"e").SavePreferences(1);
    const std::string account = Bytes("UserSettings.xml");
    const std::string preferences = Bytes("UserPrefs.xml");

    int writes = 0;
    settings_file::SetWriteFaultHookForTesting([&writes] {
        ++writes;
        return settings_file::WriteFault::KillProcess;
    });
    BlogPostSession other = Account(u"second", u"bob", u"s2", u"e2");
    other.displayHotspotWarning = 0;
    other.SavePreferences(1);
    EXPECT_EQ(writes, 2);
    EXPECT_EQ(Bytes("UserSettings.xml"), account);
    EXPECT_EQ(Bytes("UserPrefs.xml"), preferences);
    EXPECT_TRUE(Exists("UserSettings.xml.tmp")) << "a killed process cleans nothing up";
    const Loaded loaded = LoadAll(folder_);
    EXPECT_EQ(loaded.password, "first");
    EXPECT_EQ(loaded.login, "ann");

    // A full disk: the write fails and takes its temporary file with it.
    ::DeleteFileW(fw::W(PathOf("UserSettings.xml.tmp")));
    ::DeleteFileW(fw::W(PathOf("UserPrefs.xml.tmp")));
    settings_file::SetWriteFaultHookForTesting([] { return settings_file::WriteFault::FailWrite; });
    other.SavePreferences(1);
    EXPECT_EQ(Bytes("UserSettings.xml"), account);
    EXPECT_FALSE(Exists("UserSettings.xml.tmp"));

    // The next write after the crash goes through over the leftovers.
    settings_file::SetWriteFaultHookForTesting({});
    other.SavePreferences(1);
    EXPECT_EQ(LoadAll(folder_).login, "bob");
    EXPECT_EQ(Bytes("UserPrefs.xml"), PreferencesBytes(1, 0));
}

TEST_F(SettingsFiles, ReaderHoldingTheFileKeepsWritersOut) {
    Account(u"first", u"ann", u"s", u"e").SavePreferences(1);
    const std::string account = Bytes("UserSettings.xml");
    HANDLE reader = ::CreateFileW(fw::W(PathOf("UserSettings.xml")), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(settings_file::Write(PathOf("UserSettings.xml"), u"<userprefs></userprefs>"));
    ::CloseHandle(reader);
    EXPECT_EQ(Bytes("UserSettings.xml"), account);
    EXPECT_FALSE(Exists("UserSettings.xml.tmp"));
}

// ---------------------------------------------------------------------------
// Damaged, strange and unreachable files: each loads as a defined outcome,
// and neither loading nor a failed save costs the user what is on disk.

TEST_F(SettingsFiles, DamagedFilesLoadAsMissingAndStayOnDisk) {
    Account(u"pw", u"ann", u"s", u"e").SavePreferences(1);
    const std::string account = Bytes("UserSettings.xml");
    const std::string preferences = Bytes("UserPrefs.xml");
    ASSERT_EQ(LoadAll(folder_).login, "ann");

    std::mt19937 random(13);
    auto randomBytes = [&random](size_t size) {
        std::string bytes(size, '\0');
        for (char& byte : bytes) byte = static_cast<char>(random());
        return bytes;
    };
    auto utf16 = [](const std::string& utf8) {
        const String text = core::FromUtf8(utf8);
        return std::string("\xFF\xFE") + std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    };
    auto cutInRoot = [](const std::string& bytes) { return bytes.substr(0, bytes.find("</userprefs>") + 11); };
    auto zeroInMiddle = [](const std::string& bytes) {
        std::string damaged = bytes;
        damaged[damaged.find("    <") + 2] = '\0';
        return damaged;
    };
    // A file far larger than any settings file: the real one, then 100 MB of
    // padding. Made here and deleted by TearDown with the folder.
    constexpr size_t kHuge = 100u << 20;
    auto huge = [kHuge](const std::string& bytes) { return bytes + std::string(kHuge, ' '); };

    struct Case {
        const char* what;
        std::string accountBytes, preferencesBytes;
        bool loads;  // both files read as written, or both as without a root
    };
    const Case cases[] = {
        {"cut after the mark", kBom, kBom, false},
        {"cut in the middle", account.substr(0, account.size() / 2), preferences.substr(0, preferences.size() / 2),
         false},
        {"cut before the root's last '>'", cutInRoot(account), cutInRoot(preferences), false},
        {"cut after the root, before its line end", account.substr(0, account.size() - 2),
         preferences.substr(0, preferences.size() - 2), true},
        {"random bytes", randomBytes(4096), randomBytes(4096), false},
        {"UTF-16 with its mark", utf16(account.substr(3)), utf16(preferences.substr(3)), false},
        {"a zero byte inside the root", zeroInMiddle(account), zeroInMiddle(preferences), false},
        {"a zero byte after the root", account + std::string("\0<userprefs>", 12), preferences + '\0', true},
        {"100 MB long", huge(account), huge(preferences), false},
    };
    for (const Case& c : cases) {
        Put("UserSettings.xml", c.accountBytes);
        Put("UserPrefs.xml", c.preferencesBytes);
        BlogPostSession session = Account(u"kept", u"kept", u"kept", u"kept");
        session.saveText = 1;
        session.displayHotspotWarning = 0;
        EXPECT_EQ(session.LoadPreferences(session.saveText), c.loads) << c.what;
        EXPECT_EQ(session.LoadAccount(), c.loads) << c.what;
        if (c.loads) {
            EXPECT_EQ(Narrow(session.password), "pw") << c.what;
            EXPECT_EQ(Narrow(session.login + session.server + session.endpoint), "annse") << c.what;
            EXPECT_EQ(session.displayHotspotWarning, 1) << c.what;
        } else {
            EXPECT_EQ(Narrow(session.password + session.login + session.server + session.endpoint),
                      "keptkeptkeptkept")
                << c.what;
            EXPECT_EQ(session.saveText, 1) << c.what;
            EXPECT_EQ(session.displayHotspotWarning, 0) << c.what;
        }
        // Reading changed nothing on disk.
        if (c.accountBytes.size() < kHuge) {
            EXPECT_EQ(Bytes("UserSettings.xml"), c.accountBytes) << c.what;
            EXPECT_EQ(Bytes("UserPrefs.xml"), c.preferencesBytes) << c.what;
        } else {
            WIN32_FILE_ATTRIBUTE_DATA data{};
            ASSERT_TRUE(::GetFileAttributesExW(fw::W(PathOf("UserSettings.xml")), GetFileExInfoStandard, &data));
            EXPECT_EQ((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
                      c.accountBytes.size());
        }
        // A save over the damaged files puts sound ones in their place.
        Account(u"pw2", u"bob", u"s2", u"e2").SavePreferences(1);
        EXPECT_EQ(LoadAll(folder_).login, "bob") << c.what;
    }
    ::DeleteFileW(fw::W(PathOf("UserSettings.xml")));
    ::DeleteFileW(fw::W(PathOf("UserPrefs.xml")));
}

TEST_F(SettingsFiles, FileLockedByAnotherProcessLoadsAsMissingAndSurvivesASave) {
    Account(u"pw", u"ann", u"s", u"e").SavePreferences(1);
    const std::string account = Bytes("UserSettings.xml");
    {
        OtherProcessHolding holder(PathOf("UserSettings.xml"));
        ASSERT_TRUE(holder.Holding()) << "the other process could not open the file";
        BlogPostSession session = Account(u"kept", u"kept", u"kept", u"kept");
        EXPECT_FALSE(session.LoadAccount());
        EXPECT_EQ(Narrow(session.login + session.password), "keptkept");

        // A save while it is held fails without a word and leaves no
        // temporary file; the preferences file beside it is written.
        BlogPostSession other = Account(u"pw2", u"bob", u"s2", u"e2");
        other.displayHotspotWarning = 0;
        EXPECT_TRUE(other.SavePreferences(1));
        EXPECT_FALSE(Exists("UserSettings.xml.tmp"));
        EXPECT_EQ(Bytes("UserPrefs.xml"), PreferencesBytes(1, 0));
    }
    // Once let go, the file is the one from before.
    EXPECT_EQ(Bytes("UserSettings.xml"), account);
    EXPECT_EQ(LoadAll(folder_).login, "ann");
}

TEST_F(SettingsFiles, DataFolderThatCannotBeWrittenIsSkippedSilently) {
    Put("a-file", "not a folder");
    const String cases[] = {
        PathOf("a-file"),              // a file where the folder should be
        PathOf("a-file") + u"\\sub",  // below a file
        folder_ + u"\\bad|name",       // a name no folder may have
    };
    for (const String& dataFolder : cases) {
        BlogPostSession session = Account(u"pw", u"ann", u"s", u"e");
        session.dataFolder = dataFolder;
        EXPECT_TRUE(session.SavePreferences(1)) << Narrow(dataFolder);
        EXPECT_EQ(Narrow(session.login + session.password), "annpw") << "the values in memory stay";
        EXPECT_FALSE(settings_file::Exists(dataFolder + u"\\UserSettings.xml")) << Narrow(dataFolder);
        EXPECT_FALSE(settings_file::Exists(dataFolder + u"\\UserPrefs.xml")) << Narrow(dataFolder);
        BlogPostSession reader = Session();
        reader.dataFolder = dataFolder;
        EXPECT_FALSE(reader.LoadAccount());
        EXPECT_FALSE(reader.LoadPreferences(reader.saveText));
        EXPECT_EQ(reader.saveText, 0);
    }
    EXPECT_EQ(Bytes("a-file"), "not a folder");
}

