// The main road as a user takes it: the host simulator sends through the
// real Velluma.dll, a UI script answers the log-in dialog and writes the
// entry in the editor, and the publishing double (KeloPublish.dll beside the
// component) records what it was asked. The settings files, the host's alert
// service and the notice are read back from what the run leaves behind.

#include "tests/windows/sim_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

namespace {

using namespace simtest;

struct Call {
    std::string method, args;
};

std::vector<Call> HostCalls(const std::vector<std::string>& log) {
    static const std::regex call(R"re(^\{"event":"call","interface":"[^"]*","method":"([^"]*)","args":\[(.*)\]\}$)re");
    std::vector<Call> calls;
    for (const auto& line : log) {
        std::smatch m;
        if (std::regex_match(line, m, call)) calls.push_back({m[1], m[2]});
    }
    return calls;
}

// The value of `name` in one line of KeloPublish.calls.jsonl: a string
// unescaped (the double writes \" \\ \r \n \t and \u00XX), a number as written.
std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    size_t at = line.find(key);
    if (at == std::string::npos) return "<no " + name + ">";
    at += key.size();
    if (line[at] != '"') return line.substr(at, line.find_first_of(",}", at) - at);
    std::string value;
    for (++at; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] != '\\') {
            value += line[at];
            continue;
        }
        const char e = line[++at];
        if (e == 'n') value += '\n';
        else if (e == 'r') value += '\r';
        else if (e == 't') value += '\t';
        else if (e == 'u') {
            value += static_cast<char>(std::stoi(line.substr(at + 1, 4), nullptr, 16));
            at += 4;
        } else value += e;
    }
    return value;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

std::string JsonEscaped(const std::string& text) { return std::regex_replace(text, std::regex(R"(\\)"), R"(\\)"); }

const std::string kBom = "\xEF\xBB\xBF";
const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n";

const char kThreeBlogs[] =
    "<Blogs>"
    "<Blog_Object><BlogId>11</BlogId><BlogName>Alpha</BlogName><BlogAddress>http://alpha.example/</BlogAddress></Blog_Object>"
    "<Blog_Object><BlogId>22</BlogId><BlogName>Beta</BlogName><BlogAddress>http://www.beta.example/b/</BlogAddress></Blog_Object>"
    "<Blog_Object><BlogId>33</BlogId><BlogName>Gamma</BlogName><BlogAddress>http://gamma.example/</BlogAddress></Blog_Object>"
    "</Blogs>";

// The log-in dialog answered: server, endpoint, login, password, and the
// "remember" box ticked or not.
std::string LogIn(const std::string& login = "ann", bool remember = false, const std::string& endpoint = "/xmlrpc.php") {
    return "wait \"Velluma Login\"\n"
           "set 219 \"blog.example\"\n"
           "set 218 \"" + endpoint + "\"\n"
           "set 216 \"" + login + "\"\n"
           "set 217 \"secret\"\n" +
           (remember ? "check 1006\n" : "") + "click 1\n";
}

class MainRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(accessory);
        const fs::path built = ProgramFolder().parent_path() / "accessory";
        for (const char* name : {"Velluma.dll", "Velluma.ico"}) fs::copy_file(built / name, accessory / name);
        fs::copy_file(PublishingDouble(), accessory / "KeloPublish.dll");
        WriteFile(accessory / "KeloPublish.reply.xml", kThreeBlogs);
    }

    // The build of the double that also has GetLastPublishError and
    // GetLastPostLink (or, false, the plain one) as the accessory's library.
    void UseDoubleWithLastTexts(bool lastTexts = true) {
        fs::copy_file(PublishingDouble(lastTexts), accessory / "KeloPublish.dll", fs::copy_options::overwrite_existing);
    }

    // tarvex-sim send --dll <copy> --accessory <copy's folder> --data <own> ...
    RunResult Send(const std::string& script, bool alert = true, const std::vector<std::wstring>& extra = {}) {
        std::vector<std::wstring> args = {L"send", L"--dll", (accessory / "Velluma.dll").wstring(), L"--accessory",
                                          accessory.wstring(), L"--data", data.wstring(), L"--log",
                                          (folder / "log.jsonl").wstring(), L"--screenshot", Screenshots().wstring()};
        if (alert) args.push_back(L"--alert");
        WriteFile(folder / "script.ui", script);
        args.insert(args.end(), {L"--ui", (folder / "script.ui").wstring()});
        args.insert(args.end(), extra.begin(), extra.end());
        fs::remove(folder / "log.jsonl");
        RunResult run = RunProgram(ProgramFolder() / "tarvex-sim.exe", args, folder.path(),
                                   {{L"URLREC_LOG", (folder / "urls.log").wstring()}});
        EXPECT_FALSE(run.timedOut) << run.err;
        log = Lines(ReadFile(folder / "log.jsonl"));
        calls = HostCalls(log);
        return run;
    }

    static fs::path Screenshots() { return ProgramFolder().parent_path() / "screenshots"; }
    std::vector<std::string> Published() { return Lines(ReadFile(accessory / "KeloPublish.calls.jsonl")); }
    std::vector<std::string> Exported(const std::string& name) {
        std::vector<std::string> lines;
        for (const auto& line : Published())
            if (Field(line, "export") == name) lines.push_back(line);
        return lines;
    }
    const Call* HostCall(const std::string& method) const {
        auto it = std::find_if(calls.begin(), calls.end(), [&](const Call& c) { return c.method == method; });
        return it == calls.end() ? nullptr : &*it;
    }
    std::vector<std::string> MessageBoxes() const {
        std::vector<std::string> boxes;
        for (const auto& line : log)
            if (line.rfind(R"({"event":"messagebox")", 0) == 0) boxes.push_back(line);
        return boxes;
    }

    TempFolder folder;
    fs::path accessory = folder / "accessory";
    fs::path data = folder / "data";
    std::vector<std::string> log;
    std::vector<Call> calls;
};

const char kLeftImageTag[] = R"(<a href="%s"><img src = "%s" align = "left" height="240" width="320" hspace = "20" /></a>)";

TEST_F(MainRoadTest, FirstSendLogsInPostsRemembersAndTheNextSendOpensTheEditor) {
    RunResult run = Send(LogIn("ann", true) + R"(
wait "Blog Editor"
expect 1015 text "ann"
expect 3015 text "x-small"
expect 3161 checked
expect 40009 checked
expect 1017 visible
combo 1017 1
set 1028 "Trip \"100%\" & more"
focus 3000
type "Plain "
click 40001
type "bold"
click 40001
type " at 50% off"
key Enter
click 3162
type "centred"
expect 3162 checked
shot road_editor_full
click 3017
)");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(log.back(), R"({"event":"result","hresult":"0x00000000"})");
    EXPECT_TRUE(MessageBoxes().empty()) << MessageBoxes().front();

    const auto lists = Exported("GetBlogIDs");
    const auto posts = Exported("PublishToBlogNoGUI");
    ASSERT_EQ(lists.size(), 1u);
    ASSERT_EQ(posts.size(), 1u);
    const std::string& post = posts[0];
    EXPECT_EQ(Field(post, "serviceType"), "2");
    EXPECT_EQ(Field(post, "server"), "blog.example");
    EXPECT_EQ(Field(post, "endpoint"), "/xmlrpc.php");
    EXPECT_EQ(Field(post, "login"), "ann");
    EXPECT_EQ(Field(post, "password"), "secret");
    EXPECT_EQ(Field(post, "blogId"), "22");
    EXPECT_EQ(Field(post, "title"), "Trip \"100%\" & more");
    EXPECT_EQ(Field(post, "draft"), "0");
    EXPECT_EQ(Field(post, "blogAddress"), "http://www.beta.example/b/");
    const Call* save = HostCall("SaveImage");
    ASSERT_NE(save, nullptr);
    std::string savedAs(1, '"');
    savedAs += JsonEscaped(Field(post, "imagePath"));
    savedAs += R"(",5,"FileOptions")";
    EXPECT_EQ(save->args, savedAs) << "the image the host wrote is the one posted";

    const std::string html = Field(post, "htmlBody");
    EXPECT_EQ(html.rfind(kLeftImageTag, 0), 0u) << html;
    EXPECT_EQ(Count(html, "%s"), 2u) << html;
    EXPECT_EQ(Count(html, "&#37;"), 1u) << html;
    // Bold and the centred paragraph as typed; "x-small" is size 2.
    EXPECT_EQ(html, std::string(kLeftImageTag) +
                        R"(<p align="left"><font size="2">Plain <b>bold</b> at 50&#37; off<br /></font></p>)"
                        R"(<p align="center"><font size="2">centred</font></p>)");

    // The host was told the address and shown the notice through its alert service.
    const Call* address = HostCall("SetResultAddress");
    ASSERT_NE(address, nullptr);
    EXPECT_EQ(address->args, R"(-1,"http://www.beta.example/b/")");
    const Call* alert = HostCall("ShowAlert");
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->args, R"("Posting to Blog Complete",".beta.example/b/",")" + JsonEscaped((accessory / "Velluma.ico").string()) +
                               R"(",1,"http://www.beta.example/b/")");

    // The account, byte for byte: "secret" scrambled with 0x13 is "`vpavg".
    EXPECT_EQ(ReadFile(data / "UserSettings.xml"), kBom + kDeclaration +
                                                       "<userprefs>\r\n"
                                                       "    <StoredText>`vpavg</StoredText>\r\n"
                                                       "    <Login>ann</Login>\r\n"
                                                       "    <Server>blog.example</Server>\r\n"
                                                       "    <Endpoint>/xmlrpc.php</Endpoint>\r\n"
                                                       "</userprefs>\r\n");
    EXPECT_EQ(ReadFile(data / "UserPrefs.xml"), kBom + kDeclaration +
                                                    "<userprefs>\r\n"
                                                    "    <SaveText>1</SaveText>\r\n"
                                                    "    <DisplayHotspotWarning>1</DisplayHotspotWarning>\r\n"
                                                    "</userprefs>\r\n");

    // The next send: straight into the editor with the stored account.
    run = Send("wait \"Blog Editor\"\nexpect 1015 text \"ann\"\nclick 2\n");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const auto again = Exported("GetBlogIDs");
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(Field(again[1], "login"), "ann");
    EXPECT_EQ(Field(again[1], "password"), "secret");
    EXPECT_EQ(Field(again[1], "endpoint"), "/xmlrpc.php");
    EXPECT_EQ(Exported("PublishToBlogNoGUI").size(), 1u) << "cancelled: nothing more posted";
    EXPECT_EQ(HostCall("ShowAlert"), nullptr);
}

// Without the host's alert service the component shows its own notice.
TEST_F(MainRoadTest, WithoutTheAlertServiceTheNoticeShows) {
    fs::remove(Screenshots() / "road_notice.png");
    RunResult run = Send(LogIn() + "wait \"Blog Editor\"\nclick 3017\nwaitclass \"keloAccAlert\"\nsleep 900\nshot road_notice\n",
                         false);
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(Exported("PublishToBlogNoGUI").size(), 1u);
    EXPECT_EQ(HostCall("SetResultAddress"), nullptr);
    EXPECT_EQ(HostCall("ShowAlert"), nullptr);
    EXPECT_EQ(ReadFile(Screenshots() / "road_notice.png").substr(0, 4), "\x89PNG");
    EXPECT_FALSE(fs::exists(data / "UserSettings.xml")) << "the box was not ticked";
}

// A refused account brings the log-in dialog back; "Use Different Account"
// does too; each new account reaches the editor and the last one posts.
TEST_F(MainRoadTest, RefusedAccountAndDifferentAccountLogInAgain) {
    WriteFile(accessory / "KeloPublish.accept", "bob");
    RunResult run = Send(LogIn("ann") + LogIn("bob") + "wait \"Blog Editor\"\nexpect 1015 text \"bob\"\nclick 3013\n" +
                         LogIn("bob", false, "/other.php") + "wait \"Blog Editor\"\nclick 3017\n");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_TRUE(MessageBoxes().empty()) << "a refused account closes the editor without a word";
    const auto lists = Exported("GetBlogIDs");
    ASSERT_EQ(lists.size(), 3u);
    EXPECT_EQ(Field(lists[0], "login"), "ann");
    EXPECT_EQ(Field(lists[0], "result"), "-2147467259");
    EXPECT_EQ(Field(lists[1], "login"), "bob");
    EXPECT_EQ(Field(lists[1], "result"), "0");
    EXPECT_EQ(Field(lists[2], "endpoint"), "/other.php");
    const auto posts = Exported("PublishToBlogNoGUI");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(Field(posts[0], "login"), "bob");
    EXPECT_EQ(Field(posts[0], "endpoint"), "/other.php");
    EXPECT_EQ(Field(posts[0], "blogId"), "11");
    ASSERT_NE(HostCall("ShowAlert"), nullptr);
}

TEST_F(MainRoadTest, RememberingOnWithTheAccountFileDeletedSaysSo) {
    fs::create_directories(data);
    WriteFile(data / "UserPrefs.xml", kBom + kDeclaration +
                                          "<userprefs>\r\n    <SaveText>1</SaveText>\r\n"
                                          "    <DisplayHotspotWarning>1</DisplayHotspotWarning>\r\n</userprefs>\r\n");
    RunResult run = Send("wait \"Velluma\"\nanswer ok\n");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0],
              R"({"event":"messagebox","caption":"Velluma","text":"Invalid Username and/or Password","buttons":"ok","answer":"ok"})");
    EXPECT_TRUE(Published().empty()) << "the library was never asked";
    EXPECT_EQ(HostCall("ShowAlert"), nullptr);
}

// A reply with no "Blogs": no list to choose from, an empty blog id, and
// no address to announce.
TEST_F(MainRoadTest, ReplyWithoutBlogsPostsWithAnEmptyBlogIdAndNoNotice) {
    WriteFile(accessory / "KeloPublish.reply.xml", "<Other><BlogId>5</BlogId></Other>");
    RunResult run = Send(LogIn() + "wait \"Blog Editor\"\nexpect 1017 hidden\nexpect 1016 hidden\nclick 3017\n");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const auto posts = Exported("PublishToBlogNoGUI");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(Field(posts[0], "blogId"), "");
    EXPECT_EQ(Field(posts[0], "blogAddress"), "");
    EXPECT_EQ(HostCall("SetResultAddress"), nullptr);
    EXPECT_EQ(HostCall("ShowAlert"), nullptr);
}

// One blog: the row is hidden and the editor shorter; it posts to that blog.
TEST_F(MainRoadTest, OneBlogCompactsTheEditor) {
    WriteFile(accessory / "KeloPublish.reply.xml",
              "<Blogs><Blog_Object><BlogId>7</BlogId><BlogName>Only</BlogName>"
              "<BlogAddress>http://only.example/</BlogAddress></Blog_Object></Blogs>");
    RunResult run = Send(LogIn() + "wait \"Blog Editor\"\nexpect 1017 hidden\nexpect 1016 hidden\nshot road_editor_compacted\nclick 3017\n");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const auto posts = Exported("PublishToBlogNoGUI");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(Field(posts[0], "blogId"), "7");
    EXPECT_EQ(ReadFile(Screenshots() / "road_editor_compacted.png").substr(0, 4), "\x89PNG");
}

// The image toolbar through the user's clicks: one row per button, the
// chosen button checked and the others not.
TEST_F(MainRoadTest, ImageToolbarChoosesTheTagRow) {
    const struct { int command; const char* prefix; const char* suffix; } cases[] = {
        {40009, kLeftImageTag, nullptr},
        {40010, R"(<a href="%s"><img src = "%s" align = "right" height="240" width="320" hspace = "20" /></a>)", nullptr},
        {40011, R"(<p align = "center"><a href="%s"><img src = "%s" height="240" width="320" hspace="6" /></a></p>)", nullptr},
        {40012, nullptr, R"(<p align = "center"><a href="%s"><img src = "%s" height="240" width="320" hspace="6" /></a></p>)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("button " + std::to_string(c.command));
        fs::remove(accessory / "KeloPublish.calls.jsonl");
        std::string script = LogIn() + "wait \"Blog Editor\"\nclick 40011\nclick " + std::to_string(c.command) + "\n";
        for (int other = 40009; other <= 40012; ++other)
            script += "expect " + std::to_string(other) + (other == c.command ? " checked\n" : " unchecked\n");
        script += "focus 3000\ntype \"words\"\nclick 3017\n";
        RunResult run = Send(script);
        ASSERT_EQ(run.exitCode, 0u) << run.err;
        const auto posts = Exported("PublishToBlogNoGUI");
        ASSERT_EQ(posts.size(), 1u);
        const std::string html = Field(posts[0], "htmlBody");
        if (c.prefix) {
            EXPECT_EQ(html.rfind(c.prefix, 0), 0u) << html;
        }
        if (c.suffix) {
            const std::string suffix = c.suffix;
            EXPECT_TRUE(html.size() >= suffix.size() && html.compare(html.size() - suffix.size(), std::string::npos, suffix) == 0)
                << html;
        }
        EXPECT_EQ(Count(html, "%s"), 2u) << html;
        EXPECT_NE(html.find("words"), std::string::npos) << html;
    }
}

// Publish result 1: the user is told, the entry stays, and Cancel still ends
// the send with nothing announced.
TEST_F(MainRoadTest, RefusedPostKeepsTheEditorOpenUntilCancelled) {
    WriteFile(accessory / "KeloPublish.result", "1");
    RunResult run = Send(LogIn() + R"(
wait "Blog Editor"
set 1028 "Keep me"
click 3017
wait "Velluma"
answer ok
wait "Blog Editor"
expect 1028 text "Keep me"
click 3017
wait "Velluma"
answer ok
wait "Blog Editor"
click 2
)");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    const auto boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_NE(boxes[0].find(R"("text":"The entry could not be posted. Check the connection and the account, then try again.")"),
              std::string::npos)
        << boxes[0];
    const auto posts = Exported("PublishToBlogNoGUI");
    ASSERT_EQ(posts.size(), 2u) << "the library was loaded again for the second try";
    EXPECT_EQ(Field(posts[1], "title"), "Keep me");
    EXPECT_EQ(HostCall("SetResultAddress"), nullptr);
    EXPECT_EQ(HostCall("ShowAlert"), nullptr);
    EXPECT_EQ(log.back(), R"({"event":"result","hresult":"0x00000000"})");
}

// A library that can say why it refused the account: the reason comes
// first, then the log-in dialog with the account as typed and the password
// to type again. The right password then posts once.
TEST_F(MainRoadTest, ARefusalWithAReasonSaysItAndKeepsTheAccount) {
    UseDoubleWithLastTexts();
    WriteFile(accessory / "KeloPublish.accept", "bob");
    WriteFile(accessory / "KeloPublish.error", "The blog refused the user name or password.");
    RunResult run = Send(LogIn("ann", true, "/rpc.php") + R"(
wait "Velluma"
shot reason_account_refused
answer ok
wait "Velluma Login"
expect 219 text "blog.example"
expect 218 text "/rpc.php"
expect 216 text "ann"
expect 217 text ""
expect 217 focused
expect 1006 checked
shot reason_login_again
set 216 "bob"
set 217 "secret"
click 1
wait "Blog Editor"
click 3017
)");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0], R"({"event":"messagebox","caption":"Velluma",)"
                                 R"("text":"The blog refused the user name or password.","buttons":"ok","answer":"ok"})");
    const auto lists = Exported("GetBlogIDs");
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(Field(lists[0], "login"), "ann");
    EXPECT_EQ(Field(lists[0], "waitCursor"), "1") << "the editor's opening shows the wait cursor";
    EXPECT_EQ(Field(lists[1], "login"), "bob");
    EXPECT_EQ(Field(lists[1], "server"), "blog.example");
    EXPECT_EQ(Field(lists[1], "endpoint"), "/rpc.php");
    const auto posts = Exported("PublishToBlogNoGUI");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(Field(posts[0], "login"), "bob");
    EXPECT_EQ(Field(posts[0], "waitCursor"), "1");
    EXPECT_NE(HostCall("ShowAlert"), nullptr);
    EXPECT_EQ(ReadFile(Screenshots() / "reason_account_refused.png").substr(0, 4), "\x89PNG");
}

// A library without the optional exports: the refusal stays silent and the
// log-in dialog comes back empty, as it always did.
TEST_F(MainRoadTest, ARefusalWithoutAReasonLogsInAfresh) {
    WriteFile(accessory / "KeloPublish.accept", "bob");
    WriteFile(accessory / "KeloPublish.error", "never shown: this double has no GetLastPublishError");
    RunResult run = Send(LogIn("ann") + "wait \"Velluma Login\"\nexpect 219 text \"\"\nexpect 218 text \"\"\n"
                         "expect 216 text \"\"\n" + LogIn("bob") + "wait \"Blog Editor\"\nclick 3017\n");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_TRUE(MessageBoxes().empty()) << MessageBoxes().front();
    EXPECT_EQ(Exported("GetBlogIDs").size(), 2u);
    EXPECT_EQ(Exported("PublishToBlogNoGUI").size(), 1u);
}

// A failed post with a reason: the usual text, a blank line, the reason;
// the entry stays in the editor.
TEST_F(MainRoadTest, AFailedPostWithAReasonSaysIt) {
    UseDoubleWithLastTexts();
    WriteFile(accessory / "KeloPublish.result", "1");
    WriteFile(accessory / "KeloPublish.error", "The blog answered with a server error (500). Try again later.");
    RunResult run = Send(LogIn() + R"(
wait "Blog Editor"
set 1028 "Keep me"
click 3017
wait "Velluma"
shot reason_post_failed
answer ok
wait "Blog Editor"
expect 1028 text "Keep me"
click 2
)");
    ASSERT_EQ(run.exitCode, 0u) << run.err;
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0],
              R"({"event":"messagebox","caption":"Velluma","text":"The entry could not be posted. Check the connection )"
              R"(and the account, then try again.\n\nThe blog answered with a server error (500). Try again later.",)"
              R"("buttons":"ok","answer":"ok"})");
    const auto posts = Exported("PublishToBlogNoGUI");
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(Field(posts[0], "waitCursor"), "1") << "Post shows the wait cursor until the call returns";
    EXPECT_EQ(HostCall("ShowAlert"), nullptr);
    EXPECT_EQ(ReadFile(Screenshots() / "reason_post_failed.png").substr(0, 4), "\x89PNG");
}

// Where the notice and the host's last result lead: the post's own address
// when the library gives one, else the blog's (a draft, or a library without
// GetLastPostLink even though it could have one).
TEST_F(MainRoadTest, TheNoticeAndTheLastResultLeadToThePost) {
    const std::string blog = "http://www.beta.example/b/";
    const std::string post = "http://www.beta.example/b/2026/12/11/trip/";
    const struct { bool lastTexts; bool draft; std::string expected; } cases[] = {
        {true, false, post},
        {true, true, blog},
        {false, false, blog},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lastTexts ? "with" : "without") + " the exports" + (c.draft ? ", draft" : ""));
        UseDoubleWithLastTexts(c.lastTexts);
        WriteFile(accessory / "KeloPublish.link", post);
        fs::remove(folder / "urls.log");
        RunResult run = Send(LogIn() + "wait \"Blog Editor\"\ncombo 1017 1\n" + (c.draft ? "check 1039\n" : "") +
                                 "click 3017\n",
                             true, {L"--open-last"});
        ASSERT_EQ(run.exitCode, 0u) << run.err;
        const Call* address = HostCall("SetResultAddress");
        ASSERT_NE(address, nullptr);
        EXPECT_EQ(address->args, "-1,\"" + c.expected + "\"");
        const Call* alert = HostCall("ShowAlert");
        ASSERT_NE(alert, nullptr);
        const std::string shown = c.expected.substr(std::string("http://www").size());
        EXPECT_EQ(alert->args, R"("Posting to Blog Complete",")" + shown + R"(",")" +
                                   JsonEscaped((accessory / "Velluma.ico").string()) + R"(",1,")" + c.expected + "\"");
        // OpenLastResult, through the shell, to the address recorder.
        std::string opened;
        for (int i = 0; i < 100 && (opened = ReadFile(folder / "urls.log")).empty(); ++i) ::Sleep(100);
        EXPECT_EQ(opened, c.expected + "\n");
    }
}

} // namespace
