// The UI script parser: which lines become which steps, and which lines are
// refused with which line number.

#include "tools/uiscript/script.h"

#include "resources/resource.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

using uiscript::Answer;
using uiscript::Expectation;
using uiscript::KeyName;
using uiscript::Op;
using uiscript::Parse;

namespace {

struct Good {
    const char* line;
    Op op;
    int id;
    const char* text;
    long n0, n1, n2, n3;
};

TEST(UiScriptParse, EveryStepKind) {
    const Good cases[] = {
        {"wait \"Blog Editor\"", Op::Wait, 0, "Blog Editor", 0, 0, 0, 0},
        {"waitclass \"#32770\"", Op::WaitClass, 0, "#32770", 0, 0, 0, 0},
        {"set 1001 \"my title\"", Op::Set, 1001, "my title", 0, 0, 0, 0},
        {"set 0x3E9 \"\"", Op::Set, 1001, "", 0, 0, 0, 0},
        {"click 1", Op::Click, 1, "", 0, 0, 0, 0},
        {"check 1204", Op::Check, 1204, "", 0, 0, 0, 0},
        {"uncheck 1204", Op::Uncheck, 1204, "", 0, 0, 0, 0},
        {"select 1100 0 -1", Op::Select, 1100, "", 0, -1, 0, 0},
        {"combo 1002 3", Op::Combo, 1002, "", 3, 0, 0, 0},
        {"clickchar 3000 12", Op::ClickChar, 3000, "", 12, 0, 0, 0},
        {"clickchar 0xBB8 0", Op::ClickChar, 3000, "", 0, 0, 0, 0},
        {"focus 1100", Op::Focus, 1100, "", 0, 0, 0, 0},
        {"type \"Hello, world\"", Op::Type, 0, "Hello, world", 0, 0, 0, 0},
        {"close", Op::Close, 0, "", 0, 0, 0, 0},
        {"clickwindow", Op::ClickWindow, 0, "", 0, 0, 0, 0},
        {"shot editor-open", Op::Shot, 0, "editor-open", 0, 0, 0, 0},
        {"sleep 250", Op::Sleep, 0, "", 250, 0, 0, 0},
        {"expect 1001 rect 10 -2 200 24", Op::Expect, 1001, "", 10, -2, 200, 24},
    };
    for (const Good& c : cases) {
        auto script = Parse(c.line);
        ASSERT_TRUE(script.ok()) << c.line << ": " << script.errors.front().message;
        ASSERT_EQ(script.steps.size(), 1u) << c.line;
        const auto& step = script.steps[0];
        EXPECT_EQ(step.op, c.op) << c.line;
        EXPECT_EQ(step.id, c.id) << c.line;
        EXPECT_EQ(step.text, c.text) << c.line;
        EXPECT_EQ(step.numbers[0], c.n0) << c.line;
        EXPECT_EQ(step.numbers[1], c.n1) << c.line;
        EXPECT_EQ(step.numbers[2], c.n2) << c.line;
        EXPECT_EQ(step.numbers[3], c.n3) << c.line;
        EXPECT_EQ(step.line, 1) << c.line;
    }
}

TEST(UiScriptParse, IdsByTheirResourceNames) {
    const struct { const char* line; Op op; int id; } cases[] = {
        {"set IDC_AUTH_LOGIN \"ann\"", Op::Set, IDC_AUTH_LOGIN},
        {"click IDOK", Op::Click, 1},
        {"click IDCANCEL", Op::Click, 2},
        {"check IDC_AUTH_REMEMBER", Op::Check, IDC_AUTH_REMEMBER},
        {"click ID_FORMAT_BOLD", Op::Click, ID_FORMAT_BOLD},  // a toolbar command
        {"clickchar IDC_EDITOR_BODY 4", Op::ClickChar, IDC_EDITOR_BODY},
        {"expect IDC_EDITOR_TITLE text \"t\"", Op::Expect, IDC_EDITOR_TITLE},
        {"combo IDC_EDITOR_TEXT_SIZE 2", Op::Combo, IDC_EDITOR_TEXT_SIZE},
    };
    for (const auto& c : cases) {
        auto script = Parse(c.line);
        ASSERT_TRUE(script.ok()) << c.line << ": " << script.errors.front().message;
        EXPECT_EQ(script.steps[0].op, c.op) << c.line;
        EXPECT_EQ(script.steps[0].id, c.id) << c.line;
    }
}

// The table is made from resources/resource.h at build time: every name it
// defines as a number is known, with that number.
TEST(UiScriptParse, EveryNumberResourceHDefinesIsAName) {
    std::ifstream file(VELLUMA_SOURCE_DIR "/resources/resource.h");
    ASSERT_TRUE(file) << "resources/resource.h";
    const std::regex define(R"(^\s*#\s*define\s+(\w+)\s+(0[xX][0-9A-Fa-f]+|\d+)\b.*)");
    bool sawTheLogIn = false;
    std::string line;
    while (std::getline(file, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, define)) continue;
        const std::string name = m[1];
        auto script = Parse("click " + name);
        ASSERT_TRUE(script.ok()) << name << ": " << script.errors.front().message;
        EXPECT_EQ(script.steps[0].id, std::stoi(m[2].str(), nullptr, 0)) << name;
        sawTheLogIn = sawTheLogIn || name == "IDC_AUTH_LOGIN";
    }
    EXPECT_TRUE(sawTheLogIn);
}

TEST(UiScriptParse, ExpectationsKeysAndAnswers) {
    const struct { const char* line; Expectation expect; } expects[] = {
        {"expect 5 text \"a b\"", Expectation::Text},   {"expect 5 checked", Expectation::Checked},
        {"expect 5 UNCHECKED", Expectation::Unchecked}, {"expect 5 enabled", Expectation::Enabled},
        {"expect 5 disabled", Expectation::Disabled},   {"expect 5 hidden", Expectation::Hidden},
        {"expect 5 visible", Expectation::Visible},     {"expect 5 focused", Expectation::Focused},
        {"expect caption \"Log in\"", Expectation::Caption},
    };
    for (const auto& c : expects) {
        auto script = Parse(c.line);
        ASSERT_TRUE(script.ok()) << c.line;
        EXPECT_EQ(script.steps[0].expect, c.expect) << c.line;
    }

    const struct { const char* line; KeyName key; char letter; } keys[] = {
        {"key Enter", KeyName::Enter, 0}, {"key escape", KeyName::Escape, 0},
        {"key Tab", KeyName::Tab, 0},     {"key Ctrl+b", KeyName::Ctrl, 'B'},
        {"key CTRL+U", KeyName::Ctrl, 'U'},
    };
    for (const auto& c : keys) {
        auto script = Parse(c.line);
        ASSERT_TRUE(script.ok()) << c.line;
        EXPECT_EQ(script.steps[0].key, c.key) << c.line;
        EXPECT_EQ(script.steps[0].letter, c.letter) << c.line;
    }

    const struct { const char* line; Answer answer; } answers[] = {
        {"answer ok", Answer::Ok}, {"answer Yes", Answer::Yes}, {"answer no", Answer::No},
        {"answer retry", Answer::Retry}, {"answer cancel", Answer::Cancel}};
    for (const auto& c : answers) {
        auto script = Parse(c.line);
        ASSERT_TRUE(script.ok()) << c.line;
        EXPECT_EQ(script.steps[0].answer, c.answer) << c.line;
    }
}

TEST(UiScriptParse, QuotesEscapesAndComments) {
    auto script = Parse(R"(set 7 "say \"hi\" # not a comment \\ done"   # a comment)");
    ASSERT_TRUE(script.ok());
    EXPECT_EQ(script.steps[0].text, R"(say "hi" # not a comment \ done)");

    script = Parse("type \"Grüße – 日本\"");  // UTF-8 passes through untouched
    ASSERT_TRUE(script.ok());
    EXPECT_EQ(script.steps[0].text, "Grüße – 日本");
}

TEST(UiScriptParse, LineNumbersCountBlankAndCommentLinesAndCrlf) {
    auto script = Parse("\xEF\xBB\xBF# answers the failure\r\n\r\nwait \"Velluma\"\r\n   # indented comment\r\nanswer ok\r\n");
    ASSERT_TRUE(script.ok()) << script.errors.front().message;
    ASSERT_EQ(script.steps.size(), 2u);
    EXPECT_EQ(script.steps[0].line, 3);
    EXPECT_EQ(script.steps[0].text, "Velluma");  // no stray \r
    EXPECT_EQ(script.steps[1].line, 5);
}

TEST(UiScriptParse, BadLinesAreReportedWithTheirNumbers) {
    const struct { const char* line; const char* fragment; } bad[] = {
        {"wait Velluma", "double quotes"},
        {"wait \"Velluma", "closing double quote"},
        {"set 12 \"a\\n\"", "unknown escape"},
        {"set abc \"x\"", "not a control id"},
        {"set 12", "usage: set ID"},
        {"click", "usage: click ID"},
        {"click 1 2", "usage: click ID"},
        {"select 5 0", "usage: select"},
        {"select 5 -2 3", "START must be at least -1"},
        {"combo 5 -1", "INDEX must be at least 0"},
        {"clickchar 3000", "usage: clickchar ID POS"},
        {"clickchar 3000 -1", "POS must be at least 0"},
        {"clickchar 3000 end", "not a number"},
        {"clickwindow 3", "usage: clickwindow"},
        {"key Alt+F4", "unknown key"},
        {"key Ctrl+1", "unknown key"},
        {"expect 5 shiny", "unknown expectation"},
        {"expect 5 text plain", "double quotes"},
        {"expect 5 rect 1 2 3", "usage: expect ID rect"},
        {"expect caption", "usage"},
        {"answer maybe", "unknown answer"},
        {"shot ../escape", "plain file name"},
        {"sleep soon", "not a number"},
        {"frobnicate 3", "unknown step"},
        {"click IDC_NO_SUCH_CONTROL", "resources/resource.h does not define"},
        {"set idc_auth_login \"ann\"", "resources/resource.h does not define"},  // names are exact
        {"set \"IDC_AUTH_LOGIN\" \"ann\"", "not a control id"},
        {"set 5 \"a\"\"b\"", "followed by a blank"},
    };
    for (const auto& c : bad) {
        const std::string text = std::string("wait \"ok\"\n# fine\n") + c.line + "\nclick 1\n";
        auto script = Parse(text);
        ASSERT_EQ(script.errors.size(), 1u) << c.line;
        EXPECT_EQ(script.errors[0].line, 3) << c.line;
        EXPECT_NE(script.errors[0].message.find(c.fragment), std::string::npos)
            << c.line << " gave: " << script.errors[0].message;
        EXPECT_EQ(script.steps.size(), 2u) << c.line;  // the good lines are kept
    }
}

TEST(UiScriptParse, DescribeGivesTheLineBack) {
    const char* lines[] = {"wait \"a \\\"b\\\"\"", "set 3 \"x\"", "select 4 0 -1", "clickchar 3000 7", "key Ctrl+B",
                           "expect 9 rect 1 2 3 4", "expect caption \"c\"", "answer yes", "shot s1",
                           "click IDOK", "set IDC_AUTH_LOGIN \"ann\"", "expect ID_FORMAT_BOLD checked"};
    for (const char* line : lines) {
        auto script = Parse(line);
        ASSERT_TRUE(script.ok()) << line;
        EXPECT_EQ(uiscript::Describe(script.steps[0]), line);
    }
}

} // namespace
