#pragma once
// UI scripts: the little language in which tests and people answer the
// component's dialogs. One step per line, '#' starts a comment, texts are in
// double quotes with \" and \\ as the only escapes. This file is portable
// (no <windows.h>): the parser is tested natively and under Wine; the runner
// that executes the steps lives in runner.h.
//
// Ids are numbers (decimal or 0x hex) or the names resources/resource.h
// defines (IDC_..., ID_... for toolbar commands), and IDOK, IDCANCEL, IDYES,
// IDNO and the other dialog button ids; an unknown name is a parse error.
//
//   wait "Blog Editor"                # a window of this process with this caption
//   set IDC_EDITOR_TITLE "my title"   # or: set 1028 "my title"
//   click IDOK                        # a button, or a toolbar command by its id
//   expect ID_FORMAT_BOLD checked
//   answer ok                         # the next message box

#include <string>
#include <string_view>
#include <vector>

namespace uiscript {

enum class Op {
    Wait,       // wait "CAPTION"
    WaitClass,  // waitclass "CLASS"
    Set,        // set ID "TEXT"
    Click,      // click ID
    ClickChar,  // clickchar ID POS   (a left click on character POS of a rich edit)
    Check,      // check ID
    Uncheck,    // uncheck ID
    Select,     // select ID START END   (-1: the end)
    Combo,      // combo ID INDEX
    Focus,      // focus ID
    Type,       // type "TEXT"
    Key,        // key Enter|Escape|Tab|Ctrl+LETTER
    Expect,     // expect ID text "T" | ID state | ID rect X Y W H | caption "T"
    Answer,     // answer ok|yes|no|retry|cancel
    Close,      // close
    ClickWindow,  // clickwindow   (a left click in the middle of the current window)
    Shot,       // shot NAME
    Sleep,      // sleep MS
};

enum class Expectation {
    None,
    Text,
    Checked,
    Unchecked,
    Enabled,
    Disabled,
    Hidden,
    Visible,
    Focused,
    Rect,
    Caption,
};

enum class KeyName { None, Enter, Escape, Tab, Ctrl };

enum class Answer { None, Ok, Yes, No, Retry, Cancel };

struct Step {
    int line = 0;  // 1-based line of the script
    Op op = Op::Sleep;
    int id = 0;             // control or toolbar command id
    std::string idName;     // the id's name when the script named it (IDC_..., IDOK), else empty
    std::string text;       // UTF-8: caption, class, text, shot name
    long numbers[4] = {};   // select START END, combo INDEX, clickchar POS, rect X Y W H, sleep MS
    Expectation expect = Expectation::None;
    KeyName key = KeyName::None;
    char letter = 0;        // for Ctrl+LETTER, upper case
    Answer answer = Answer::None;
};

struct ParseError {
    int line = 0;
    std::string message;
};

struct Script {
    std::vector<Step> steps;
    std::vector<ParseError> errors;  // empty when the whole script is usable
    bool ok() const { return errors.empty(); }
};

// Parses a whole script (UTF-8, LF or CRLF line ends). Every bad line gives
// one error naming its line; the good lines are still returned.
Script Parse(std::string_view text);

// One line; `line` is only used for the step and the error.
// Returns false (and fills `error`) for a bad line; a blank or comment line
// gives true with `isStep` false.
bool ParseLine(std::string_view text, int line, Step& step, bool& isStep, ParseError& error);

// The step as one line of the language again (for logs and messages).
std::string Describe(const Step& step);

} // namespace uiscript
