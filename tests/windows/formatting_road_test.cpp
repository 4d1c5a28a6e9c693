// Formatting and links the way a user makes them: the host simulator runs
// the real Velluma.dll, a UI script logs in, types into the editor's body,
// presses its toolbar buttons, the size box and the shortcuts, answers the
// link dialog, and posts to the publishing double. The HTML body the double
// received is what these tests read: it ties the editor's rich text to the
// converter end to end.

#include "tests/windows/sim_harness.h"

#include <gtest/gtest.h>

#include <regex>
#include <vector>

namespace {

using namespace simtest;

// The text of a JSON string that starts at `at` (just after its opening
// quote), as written by the double: \" \\ \/ \b \f \n \r \t and \u00XX.
std::string JsonText(const std::string& line, size_t at) {
    std::string out;
    for (size_t i = at; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') return out;
        if (c != '\\' || i + 1 >= line.size()) {
            out += c;
            continue;
        }
        const char e = line[++i];
        switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u':
            out += static_cast<char>(std::stoi(line.substr(i + 1, 4), nullptr, 16));
            i += 4;
            break;
        default: out += e;
        }
    }
    ADD_FAILURE() << "unterminated JSON string in " << line;
    return out;
}

// The HTML without its tags, white space runs made one space: what a reader
// of the post sees.
std::string VisibleText(const std::string& html) {
    std::string text = std::regex_replace(html, std::regex("<[^>]*>"), " ");
    text = std::regex_replace(text, std::regex("\\s+"), " ");
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

class FormattingRoadTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(accessory_);
        const fs::path component = ProgramFolder().parent_path() / "accessory";
        for (const char* name : {"Velluma.dll", "Velluma.ico"}) fs::copy_file(component / name, accessory_ / name);
        fs::copy_file(PublishingDouble(), accessory_ / "KeloPublish.dll");
        WriteFile(accessory_ / "KeloPublish.reply.xml",
                  "<Blogs><Blog_Object><BlogId>7</BlogId><BlogName>Road</BlogName>"
                  "<BlogAddress>http://road.example/</BlogAddress></Blog_Object></Blogs>");
    }

    // Runs a send whose editor part is `editorSteps` (the editor is the
    // current window when they start; they end by pressing Post or Cancel),
    // and gives the HTML body posted, or "" when nothing was posted.
    std::string Send(const std::string& editorSteps) {
        const std::string script = std::string(kLogInSteps) + R"(wait "Blog Editor"
focus IDC_EDITOR_BODY
)" + editorSteps;
        WriteFile(folder_ / "script.ui", script);
        const fs::path shots = ProgramFolder().parent_path() / "screenshots";
        RunResult run = RunProgram(ProgramFolder() / "tarvex-sim.exe",
                                   {L"send", L"--dll", (accessory_ / "Velluma.dll").wstring(), L"--accessory",
                                    accessory_.wstring(), L"--data", (folder_ / "data").wstring(), L"--log",
                                    (folder_ / "log.jsonl").wstring(), L"--ui", (folder_ / "script.ui").wstring(),
                                    L"--screenshot", shots.wstring()},
                                   folder_.path());
        EXPECT_FALSE(run.timedOut) << run.err;
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        for (const auto& line : Lines(ReadFile(accessory_ / "KeloPublish.calls.jsonl"))) {
            const std::string key = "\"htmlBody\":\"";
            const size_t at = line.find(key);
            if (line.find("\"export\":\"PublishToBlogNoGUI\"") != std::string::npos && at != std::string::npos)
                return JsonText(line, at + key.size());
        }
        return {};
    }

    TempFolder folder_;
    fs::path accessory_ = folder_ / "accessory";
};

// The post's image (its tag, which the publishing library fills in) comes
// first for Align Image Left; the body is what follows it.
std::string BodyAfterImage(const std::string& html) {
    const size_t image = html.find("<img "), body = html.find("<p ");
    EXPECT_LT(image, body) << html;
    return body == std::string::npos ? std::string() : html.substr(body);
}

// What the reader sees inside every `name` element, one entry per element.
std::vector<std::string> Inside(const std::string& html, const std::string& name) {
    std::vector<std::string> texts;
    const std::regex element("<" + name + ">(.*?)</" + name + ">");
    for (std::sregex_iterator it(html.begin(), html.end(), element), end; it != end; ++it)
        texts.push_back(VisibleText((*it)[1].str()));
    return texts;
}

// Bold, italic and underline over words of the first paragraph, the seven
// sizes over the words of the second, and one alignment per paragraph. The
// body is typed first and formatted by selecting, as a user would.
TEST_F(FormattingRoadTest, TypedTextInEveryStyleSizeAndAlignmentIsPostedAsHtml) {
    // Positions: "Bold" 0-4, "Italic" 5-11, "Under" 12-17; the paragraph
    // break is one character (23); "s0".."s6" start at 24, 27, ... 42; "end" at 45.
    const std::string html = BodyAfterImage(Send(R"(
type "Bold Italic Under plain"
key Enter
type "s0 s1 s2 s3 s4 s5 s6"
key Enter
type "end"
select 3000 0 4
click 40001
expect 40001 checked
select 3000 5 11
key Ctrl+I
expect 40004 checked
select 3000 12 17
click 40003
expect 40003 checked
# a selection over bold and plain text shows Bold unchecked
select 3000 2 8
expect 40001 unchecked
select 3000 1 3
expect 40001 checked
select 3000 24 26
combo 3015 0
select 3000 27 29
combo 3015 1
select 3000 30 32
combo 3015 2
select 3000 33 35
combo 3015 3
select 3000 36 38
combo 3015 4
select 3000 39 41
combo 3015 5
select 3000 42 44
combo 3015 6
# the size box follows the selection
select 3000 37 37
expect 3015 text "large"
select 3000 31 31
expect 3015 text "small"
# first paragraph: right, then back to left
select 3000 3 3
click 3163
click 3161
expect 3161 checked
select 3000 30 30
click 3162
expect 3162 checked
expect 3161 unchecked
select 3000 46 46
click 3163
expect 3163 checked
select 3000 30 30
expect 3162 checked
expect 3163 unchecked
select 3000 0 0
# the toolbar repaints its buttons after the selection moved
sleep 300
shot road_formatted_editor
click 3017
)"));
    ASSERT_FALSE(html.empty()) << "nothing was posted";
    EXPECT_EQ(VisibleText(html), "Bold Italic Under plain s0 s1 s2 s3 s4 s5 s6 end") << html;

    // Each paragraph with its own alignment, in order.
    const size_t left = html.find("<p align=\"left\">"), center = html.find("<p align=\"center\">"),
                 right = html.find("<p align=\"right\">");
    ASSERT_NE(left, std::string::npos) << html;
    ASSERT_NE(center, std::string::npos) << html;
    ASSERT_NE(right, std::string::npos) << html;
    EXPECT_LT(left, center);
    EXPECT_LT(center, right);
    EXPECT_LT(html.find("Bold"), center);
    EXPECT_LT(center, html.find("s0"));
    EXPECT_LT(html.find("s6"), right);
    EXPECT_LT(right, html.find("end"));

    // Only the chosen word carries each effect.
    EXPECT_EQ(Inside(html, "b"), std::vector<std::string>{"Bold"}) << html;
    EXPECT_EQ(Inside(html, "i"), std::vector<std::string>{"Italic"}) << html;
    EXPECT_EQ(Inside(html, "u"), std::vector<std::string>{"Under"}) << html;

    // The seven entries of the size box give the seven HTML sizes.
    for (int size = 0; size < 7; ++size) {
        std::string word(1, 's');  // appended: gcc 12 warns falsely on "literal" + temporary
        word += std::to_string(size);
        const std::regex sized("<font size=\"" + std::to_string(size + 1) + "\"> ?" + word + " ?</font>");
        EXPECT_TRUE(std::regex_search(html, sized)) << word << " is not in size " << size + 1 << ": " << html;
    }
    // Text left at the editor's start size is size 2 (10 points).
    EXPECT_TRUE(std::regex_search(html, std::regex("<font size=\"2\">[^<]*end"))) << html;
}

// A link with its address text between the visible text's tags.
std::regex LinkAround(const std::string& href, const std::string& text) {
    const std::string escaped = std::regex_replace(href, std::regex(R"([.?+*()\[\]^$|\\])"), "\\$&");
    return std::regex("<a href=\"" + escaped + "\">(<[^>]*>|\\s)*" + text + "(<[^>]*>|\\s)*</a>");
}

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// A URL link from the toolbar and an e-mail link with a subject from Ctrl+K,
// both through the dialog; then the attempts that must insert nothing, and
// Ctrl+K inside link text, which must not even open the dialog.
TEST_F(FormattingRoadTest, UrlAndEmailLinksMadeInTheDialogArePostedAsAnchors) {
    // "Home" is 6-10; after its link the hidden text "#"http://www.example.org/home"" (30
    // characters) follows it, so "Ann" moves from 19 to 49.
    const std::string html = BodyAfterImage(Send(R"(
type "Visit Home or mail Ann today"
select 3000 6 10
click 40007
wait "Create Link"
expect 3028 text "Home"
expect 3030 text "Home"
expect 3018 focused
expect 3030 disabled
set 3018 "www.example.org/home"
shot road_link_dialog
click 1
wait "Blog Editor"
expect 3000 focused
select 3000 49 52
key Ctrl+K
wait "Create Link"
click 1035
expect 3026 focused
expect 3028 disabled
set 3026 "ann@example.org"
set 3027 "Hello there"
click 1
wait "Blog Editor"
# inside link text Create link is off, and Ctrl+K opens nothing: the focus
# stays in the body
select 3000 7 8
expect 40007 disabled
key Ctrl+K
expect 3000 focused
# nothing displayed, or no address: no link
select 3000 0 0
click 40007
wait "Create Link"
expect 3028 focused
set 3018 "nowhere.example"
click 1
wait "Blog Editor"
select 3000 0 5
key Ctrl+K
wait "Create Link"
expect 3028 text "Visit"
click 1
wait "Blog Editor"
select 3000 0 0
shot road_links_editor
click 3017
)"));
    ASSERT_FALSE(html.empty()) << "nothing was posted";
    EXPECT_TRUE(std::regex_search(html, LinkAround("http://www.example.org/home", "Home"))) << html;
    EXPECT_TRUE(std::regex_search(html, LinkAround("mailto:ann@example.org?subject=Hello there", "Ann"))) << html;
    EXPECT_EQ(Count(html, "<a "), 2u) << html;
    // No hidden address shows: the reader sees exactly what was typed.
    EXPECT_EQ(VisibleText(html), "Visit Home or mail Ann today") << html;
    EXPECT_EQ(html.find("nowhere"), std::string::npos) << html;
}

// Two links; one is clicked and removed. It becomes plain text without its
// hidden address, and the other link stays whole.
TEST_F(FormattingRoadTest, ClickedLinkRemovedLeavesPlainTextAndTheOtherLink) {
    // "Home" 3-7, "Away" 15-19; the later one is linked first so that the
    // earlier positions stay put.
    const std::string html = BodyAfterImage(Send(R"(
type "Go Home now or Away"
select 3000 15 19
click 40007
wait "Create Link"
set 3018 "away.example"
click 1
wait "Blog Editor"
select 3000 3 7
click 40007
wait "Create Link"
set 3018 "ftp://files.example/home"
click 1
wait "Blog Editor"
expect 40008 disabled
clickchar 3000 4
expect 40008 enabled
expect 40007 disabled
click 40008
expect 40008 disabled
expect 40007 enabled
click 3017
)"));
    ASSERT_FALSE(html.empty()) << "nothing was posted";
    EXPECT_EQ(Count(html, "<a "), 1u) << html;
    EXPECT_TRUE(std::regex_search(html, LinkAround("http://away.example", "Away"))) << html;
    EXPECT_EQ(html.find("files.example"), std::string::npos) << html;
    EXPECT_EQ(VisibleText(html), "Go Home now or Away") << html;
}

}  // namespace
