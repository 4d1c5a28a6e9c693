// The host simulator driving the real Velluma.dll: its menu, a send whose
// capture cannot be written (message 105 answered by a UI script), the file
// type the host is asked to write, and the simulator's own exit statuses.

#include "tests/windows/sim_harness.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

using namespace simtest;

struct Call {
    std::string interfaceName, method, args;
};

std::vector<Call> Calls(const std::vector<std::string>& log) {
    static const std::regex call(R"re(^\{"event":"call","interface":"([^"]*)","method":"([^"]*)","args":\[(.*)\]\}$)re");
    std::vector<Call> calls;
    for (const auto& line : log) {
        std::smatch m;
        if (std::regex_match(line, m, call)) calls.push_back({m[1], m[2], m[3]});
    }
    return calls;
}

std::vector<std::string> Methods(const std::vector<Call>& calls) {
    std::vector<std::string> names;
    for (const auto& c : calls) names.push_back(c.method);
    return names;
}

// Whatever dialog the entry point opens first (the log-in, the options) is
// cancelled: these tests look at the host side only.
constexpr const char* kCancelFirstDialog = "waitclass \"#32770\"\nclick 2\n";

class SimTest : public ::testing::Test {
protected:
    fs::path SimExe() const { return ProgramFolder() / "tarvex-sim.exe"; }
    fs::path Component() const { return ProgramFolder().parent_path() / "accessory" / "Velluma.dll"; }

    // tarvex-sim COMMAND... --dll Velluma.dll --data <own> --log <own>
    RunResult Sim(std::vector<std::wstring> args, const std::string& script = {}) {
        args.insert(args.end(), {L"--dll", (dll.empty() ? Component() : dll).wstring(), L"--data", (folder / "data").wstring(), L"--log",
                                 (folder / "log.jsonl").wstring()});
        if (!script.empty()) {
            WriteFile(folder / "script.ui", script);
            args.insert(args.end(), {L"--ui", (folder / "script.ui").wstring()});
        }
        RunResult run = RunProgram(SimExe(), args, folder.path());
        EXPECT_FALSE(run.timedOut) << run.err;
        log = Lines(ReadFile(folder / "log.jsonl"));
        return run;
    }

    TempFolder folder;
    fs::path dll;  // the component to load; empty: the build's accessory folder
    std::vector<std::string> log;
};

TEST_F(SimTest, MenuPrintsTheComponentsMenuText) {
    RunResult run = Sim({L"menu"});
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.out,
              "<menu> <menuitem label=\"Send to Velluma Blog\" id=\"0\" icon=\"Velluma.ico\" /><menuseparator /> "
              "<menuitem label=\"Options\" id=\"1\" /></menu>\n");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), R"({"event":"result","hresult":"0x00000000"})");
}

// A class factory from the DLL file, a message box from the DLL's own string
// table answered by the script, and all of it in the log.
TEST_F(SimTest, SendWhoseCaptureCannotBeWrittenReportsMessage105) {
    RunResult run = Sim({L"send", L"--save-fail", L"--screenshot", (folder / "shots").wstring()},
                        "# the host writes nothing\nwait \"Velluma\"\nshot message\nanswer ok\n");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ReadFile(folder / "shots" / "message.png").substr(0, 4), "\x89PNG");

    const auto calls = Methods(Calls(log));
    const std::vector<std::string> expected = {"GetDocument", "GetOutputSettings", "GetFileType", "GetFileOptions", "SaveImage"};
    std::vector<std::string> sendCalls;
    for (const auto& m : calls)
        if (m != "GetAccessoryFolder" && m != "GetDataFolder") sendCalls.push_back(m);
    EXPECT_EQ(sendCalls, expected);

    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2],
              R"({"event":"messagebox","caption":"Velluma","text":"Unable to send to Velluma Blog","buttons":"ok","answer":"ok"})");
    EXPECT_EQ(log.back(), R"({"event":"result","hresult":"0x80004005"})");
}

TEST_F(SimTest, HostIsAskedForAnImageTypeBlogsAccept) {
    const struct { const wchar_t* code; const char* type; const char* extension; const char* magic; } cases[] = {
        {L"0", "0", ".bmp", "BM"},        {L"1", "5", ".png", "\x89PNG"}, {L"2", "2", ".tif", "II*"},
        {L"3", "3", ".jpg", "\xFF\xD8\xFF"}, {L"4", "4", ".gif", "GIF8"},  {L"5", "5", ".png", "\x89PNG"},
        {L"6", "5", ".png", "\x89PNG"},   {L"99", "5", ".png", "\x89PNG"},
    };
    static const std::regex saveArgs(R"re(^"((?:[^"\\]|\\.)*)",(-?\d+),"FileOptions"$)re");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("file type ") + std::to_string(std::wcstol(c.code, nullptr, 10)));
        RunResult run = Sim({L"send", L"--file-type", c.code, L"--capture-size", L"64x48"}, kCancelFirstDialog);
        ASSERT_EQ(run.exitCode, 0u) << run.err;
        std::smatch m;
        const auto calls = Calls(log);
        auto save = std::find_if(calls.begin(), calls.end(), [](const Call& call) { return call.method == "SaveImage"; });
        ASSERT_NE(save, calls.end());
        ASSERT_TRUE(std::regex_match(save->args, m, saveArgs)) << save->args;
        const std::string path = std::regex_replace(m[1].str(), std::regex(R"(\\\\)"), "\\");
        EXPECT_EQ(m[2].str(), c.type);
        EXPECT_EQ(path.substr(path.size() - 4), c.extension) << path;
        // The file lies in the temporary folder we gave the simulator, in the type asked for.
        const std::string image = ReadFile(fs::path(path));
        EXPECT_EQ(image.substr(0, std::string(c.magic).size()), c.magic) << path;
        EXPECT_EQ(log.back(), R"({"event":"result","hresult":"0x00000000"})");
    }
}

std::string JsonEscaped(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(\\)"), R"(\\)");
}

// A whole send through the real component: log-in, editor, Post to the
// publishing double, and the completion notice through the host's alert
// service, with the address the double's blog list gave.
TEST_F(SimTest, WholeSendPostsToTheDoubleAndAlertsTheHost) {
    const fs::path accessory = folder / "accessory";
    fs::create_directories(accessory);
    for (const char* name : {"Velluma.dll", "Velluma.ico"}) fs::copy_file(Component().parent_path() / name, accessory / name);
    fs::copy_file(PublishingDouble(), accessory / "KeloPublish.dll");
    WriteFile(accessory / "KeloPublish.reply.xml",
              "<Blogs><Blog_Object><BlogId>42</BlogId><BlogName>Mine</BlogName>"
              "<BlogAddress>http://www.mine.example/</BlogAddress></Blog_Object></Blogs>");
    dll = accessory / "Velluma.dll";

    RunResult run = Sim({L"send", L"--alert", L"--accessory", accessory.wstring()}, std::string(kLogInSteps) + R"(
wait "Blog Editor"
set IDC_EDITOR_TITLE "Title \"quoted\""
click IDC_EDITOR_POST
)");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(log.back(), R"({"event":"result","hresult":"0x00000000"})");

    const auto calls = Calls(log);
    auto find = [&](const char* method) {
        return std::find_if(calls.begin(), calls.end(), [&](const Call& call) { return call.method == method; });
    };
    ASSERT_NE(find("SaveImage"), calls.end());
    const std::string imagePath = find("SaveImage")->args.substr(0, find("SaveImage")->args.find("\",5,\"FileOptions\"") + 1);

    const auto published = Lines(ReadFile(accessory / "KeloPublish.calls.jsonl"));
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[0].rfind(R"({"export":"GetBlogIDs","serviceType":2,"server":"blog.example","endpoint":"/xmlrpc.php","login":"ann","password":"secret",)", 0), 0u) << published[0];
    EXPECT_NE(published[1].find(R"("imagePath":)" + imagePath + R"(,"login":"ann")"), std::string::npos) << published[1];
    EXPECT_NE(published[1].find(R"("blogId":"42","title":"Title \"quoted\"")"), std::string::npos) << published[1];
    EXPECT_NE(published[1].find(R"("blogAddress":"http://www.mine.example/")"), std::string::npos) << published[1];

    ASSERT_NE(find("SetResultAddress"), calls.end());
    EXPECT_EQ(find("SetResultAddress")->args, R"(-1,"http://www.mine.example/")");
    ASSERT_NE(find("ShowAlert"), calls.end());
    const std::string icon = JsonEscaped((accessory / "Velluma.ico").string());
    EXPECT_EQ(find("ShowAlert")->args,
              R"("Posting to Blog Complete",".mine.example/",")" + icon + R"(",1,"http://www.mine.example/")");
}

TEST_F(SimTest, SaveImageMayMoveTheFile) {
    const fs::path moved = folder / "moved capture.png";
    RunResult run = Sim({L"send", L"--save-redirect", moved.wstring()}, kCancelFirstDialog);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ReadFile(moved).substr(0, 4), "\x89PNG");
    EXPECT_EQ(log.back(), R"({"event":"result","hresult":"0x00000000"})");
}

TEST_F(SimTest, EveryEntryPointRunsAndLogsItsResult) {
    const struct { std::vector<std::wstring> command; const char* script; } commands[] = {
        {{L"options"}, kCancelFirstDialog},
        {{L"open-last"}, ""},
        {{L"command", L"1"}, kCancelFirstDialog},
        {{L"command", L"0"}, kCancelFirstDialog},
    };
    for (const auto& [command, script] : commands) {
        RunResult run = Sim(command, script);
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back().rfind(R"({"event":"result","hresult":"0x)", 0), 0u) << log.back();
    }
    // Command 0 is the send: the host was asked for the capture.
    const auto calls = Methods(Calls(log));
    EXPECT_NE(std::find(calls.begin(), calls.end(), "SaveImage"), calls.end());
}

// A script that ends while the component still waits for an answer must
// not leave the simulator hanging.
TEST_F(SimTest, ScriptThatLeavesADialogOpenEndsWithStatus3) {
    RunResult run = Sim({L"send", L"--save-fail"}, "wait \"Velluma\"\n# and nobody answers\n");
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_NE(run.err.find("did not return"), std::string::npos) << run.err;
}

TEST_F(SimTest, BadArgumentsExitWithStatus2) {
    const std::vector<std::vector<std::wstring>> cases = {
        {},
        {L"frobnicate"},
        {L"command"},
        {L"send", L"--file-type", L"png"},
        {L"send", L"--capture-size", L"0x5"},
        {L"send", L"--nope"},
        {L"send", L"--log"},
        {L"send", L"--ui", L"Z:\\no\\such\\script.ui"},
        {L"send", L"--save-fail", L"--save-redirect", L"x.png"},
    };
    for (const auto& args : cases) {
        RunResult run = RunProgram(SimExe(), args, folder.path());
        EXPECT_EQ(run.exitCode, 2u) << "args: " << args.size() << " " << run.err;
        EXPECT_NE(run.err.find("usage: tarvex-sim"), std::string::npos) << run.err;
    }
}

TEST_F(SimTest, ScriptSyntaxErrorIsABadArgumentNamingTheLine) {
    WriteFile(folder / "bad.ui", "wait \"Velluma\"\n\nanswer perhaps\n");
    RunResult run = RunProgram(SimExe(), {L"send", L"--ui", (folder / "bad.ui").wstring()}, folder.path());
    EXPECT_EQ(run.exitCode, 2u);
    EXPECT_NE(run.err.find("line 3: unknown answer"), std::string::npos) << run.err;
}

TEST_F(SimTest, FailedUiStepExitsWithStatus3NamingTheLine) {
    RunResult run = Sim({L"send", L"--save-fail"}, "wait \"Velluma\"\n# an OK-only box has no Yes\nanswer yes\n");
    EXPECT_EQ(run.exitCode, 3u);
    EXPECT_NE(run.err.find("line 3: answer yes: the message box \"Unable to send to Velluma Blog\" has no yes button"),
              std::string::npos)
        << run.err;
}

TEST_F(SimTest, MissingComponentIsAClearError) {
    RunResult run = RunProgram(SimExe(), {L"menu", L"--dll", (folder / "Nothing.dll").wstring()}, folder.path());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("cannot load"), std::string::npos) << run.err;

    // A DLL that is no COM server at all.
    run = RunProgram(SimExe(), {L"menu", L"--dll", (PublishingDouble()).wstring()}, folder.path());
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("has no DllGetClassObject"), std::string::npos) << run.err;
}

TEST(UrlRecorder, AppendsEachAddressAsOneLine) {
    TempFolder folder;
    const fs::path log = folder / "urls.log";
    const fs::path recorder = ProgramFolder() / "urlrec.exe";
    for (const wchar_t* url : {L"http://example.org/a?x=1&y=2", L"https://example.org/\u00e9t\u00e9"}) {
        RunResult run = RunProgram(recorder, {url}, folder.path(), {{L"URLREC_LOG", log.wstring()}}, 20000);
        EXPECT_EQ(run.exitCode, 0u);
    }
    EXPECT_EQ(ReadFile(log), "http://example.org/a?x=1&y=2\nhttps://example.org/\xC3\xA9t\xC3\xA9\n");
}

} // namespace
