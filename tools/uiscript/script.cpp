#include "tools/uiscript/script.h"

#include "tools/uiscript/resource_names.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>

namespace uiscript {

namespace {

struct Token {
    std::string text;
    bool quoted = false;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Splits a line into bare words and quoted texts; '#' outside quotes ends
// the line. Returns an error message, or an empty text.
std::string Tokenize(std::string_view line, std::vector<Token>& tokens) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (IsBlank(c)) { ++i; continue; }
        if (c == '#') break;
        Token token;
        if (c == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') { closed = true; break; }
                if (d == '\\') {
                    if (i >= line.size()) return "a text ends with a lone backslash";
                    char e = line[i++];
                    if (e != '"' && e != '\\') return std::string("unknown escape \\") + e + " (only \\\" and \\\\)";
                    token.text += e;
                } else {
                    token.text += d;
                }
            }
            if (!closed) return "a text misses its closing double quote";
            if (i < line.size() && !IsBlank(line[i]) && line[i] != '#')
                return "a text must be followed by a blank";
        } else {
            while (i < line.size() && !IsBlank(line[i]) && line[i] != '#') {
                if (line[i] == '"') return "a double quote inside a word";
                token.text += line[i++];
            }
        }
        tokens.push_back(std::move(token));
    }
    return {};
}

std::optional<long> Number(const Token& token) {
    if (token.quoted || token.text.empty()) return std::nullopt;
    const char* begin = token.text.c_str();
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(begin, &end, 0);  // decimal, or 0x... for hexadecimal ids
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

// The command ids of the system's dialog buttons, which resource.h does not
// define (winuser.h does).
struct StandardId {
    const char* name;
    int id;
};
constexpr StandardId kStandardIds[] = {
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5},
    {"IDYES", 6}, {"IDNO", 7},    {"IDCLOSE", 8}, {"IDHELP", 9},
};

bool IsName(const std::string& text) {
    if (text.empty() || !(std::isalpha(static_cast<unsigned char>(text[0])) || text[0] == '_')) return false;
    for (char c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    return true;
}

// The id a name stands for: resource.h's names first, then the buttons'.
std::optional<int> NamedId(const std::string& name) {
    for (std::size_t i = 0; i < kResourceNameCount; ++i)
        if (name == kResourceNames[i].name) return kResourceNames[i].id;
    for (const StandardId& standard : kStandardIds)
        if (name == standard.name) return standard.id;
    return std::nullopt;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

struct Builder {
    const std::vector<Token>& tokens;
    Step& step;
    std::string error;

    bool Fail(std::string message) {
        error = std::move(message);
        return false;
    }
    bool Count(size_t expected, const char* usage) {
        if (tokens.size() != expected) return Fail(std::string("usage: ") + usage);
        return true;
    }
    bool Id(size_t index, const char* usage) {
        const Token& token = tokens[index];
        if (auto value = Number(token)) {
            step.id = static_cast<int>(*value);
            return true;
        }
        if (!token.quoted && IsName(token.text)) {
            auto value = NamedId(token.text);
            if (!value)
                return Fail("\"" + token.text + "\" is not a control id: resources/resource.h does not define that name");
            step.id = *value;
            step.idName = token.text;
            return true;
        }
        return Fail("\"" + token.text + "\" is not a control id (usage: " + usage + ")");
    }
    bool Text(size_t index, const char* usage) {
        if (!tokens[index].quoted) return Fail(std::string("the text must be in double quotes (usage: ") + usage + ")");
        step.text = tokens[index].text;
        return true;
    }
    bool Long(size_t index, int slot, const char* what, long minimum) {
        auto value = Number(tokens[index]);
        if (!value) return Fail("\"" + tokens[index].text + "\" is not a number (" + what + ")");
        if (*value < minimum) return Fail(std::string(what) + " must be at least " + std::to_string(minimum));
        step.numbers[slot] = *value;
        return true;
    }
};

bool BuildStep(const std::vector<Token>& tokens, Step& step, std::string& error) {
    Builder b{tokens, step, {}};
    const std::string verb = tokens[0].quoted ? std::string() : Lower(tokens[0].text);
    bool good = false;

    if (verb == "wait" || verb == "waitclass") {
        step.op = verb == "wait" ? Op::Wait : Op::WaitClass;
        const char* usage = verb == "wait" ? "wait \"CAPTION\"" : "waitclass \"CLASS\"";
        good = b.Count(2, usage) && b.Text(1, usage);
    } else if (verb == "set") {
        step.op = Op::Set;
        good = b.Count(3, "set ID \"TEXT\"") && b.Id(1, "set ID \"TEXT\"") && b.Text(2, "set ID \"TEXT\"");
    } else if (verb == "click" || verb == "check" || verb == "uncheck" || verb == "focus") {
        step.op = verb == "click" ? Op::Click : verb == "check" ? Op::Check : verb == "uncheck" ? Op::Uncheck : Op::Focus;
        const std::string usage = verb + " ID";
        good = b.Count(2, usage.c_str()) && b.Id(1, usage.c_str());
    } else if (verb == "select") {
        step.op = Op::Select;
        const char* usage = "select ID START END";
        good = b.Count(4, usage) && b.Id(1, usage) && b.Long(2, 0, "START", -1) && b.Long(3, 1, "END", -1);
    } else if (verb == "clickchar") {
        step.op = Op::ClickChar;
        const char* usage = "clickchar ID POS";
        good = b.Count(3, usage) && b.Id(1, usage) && b.Long(2, 0, "POS", 0);
    } else if (verb == "combo") {
        step.op = Op::Combo;
        const char* usage = "combo ID INDEX";
        good = b.Count(3, usage) && b.Id(1, usage) && b.Long(2, 0, "INDEX", 0);
    } else if (verb == "type") {
        step.op = Op::Type;
        good = b.Count(2, "type \"TEXT\"") && b.Text(1, "type \"TEXT\"");
    } else if (verb == "key") {
        step.op = Op::Key;
        if (b.Count(2, "key Enter|Escape|Tab|Ctrl+LETTER")) {
            const std::string name = Lower(tokens[1].text);
            good = true;
            if (tokens[1].quoted) good = b.Fail("usage: key Enter|Escape|Tab|Ctrl+LETTER");
            else if (name == "enter") step.key = KeyName::Enter;
            else if (name == "escape" || name == "esc") step.key = KeyName::Escape;
            else if (name == "tab") step.key = KeyName::Tab;
            else if (name.size() == 6 && name.compare(0, 5, "ctrl+") == 0 && std::isalpha(static_cast<unsigned char>(name[5]))) {
                step.key = KeyName::Ctrl;
                step.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[5])));
            } else {
                good = b.Fail("unknown key \"" + tokens[1].text + "\" (Enter, Escape, Tab or Ctrl+LETTER)");
            }
        }
    } else if (verb == "expect") {
        step.op = Op::Expect;
        if (tokens.size() >= 2 && !tokens[1].quoted && Lower(tokens[1].text) == "caption") {
            step.expect = Expectation::Caption;
            good = b.Count(3, "expect caption \"TEXT\"") && b.Text(2, "expect caption \"TEXT\"");
        } else if (tokens.size() < 3) {
            good = b.Fail("usage: expect ID text \"TEXT\" | expect ID STATE | expect ID rect X Y W H | expect caption \"TEXT\"");
        } else if (b.Id(1, "expect ID ...")) {
            const std::string what = tokens[2].quoted ? std::string() : Lower(tokens[2].text);
            struct Named { const char* name; Expectation value; };
            static constexpr Named kStates[] = {
                {"checked", Expectation::Checked}, {"unchecked", Expectation::Unchecked},
                {"enabled", Expectation::Enabled}, {"disabled", Expectation::Disabled},
                {"hidden", Expectation::Hidden},   {"visible", Expectation::Visible},
                {"focused", Expectation::Focused},
            };
            if (what == "text") {
                step.expect = Expectation::Text;
                good = b.Count(4, "expect ID text \"TEXT\"") && b.Text(3, "expect ID text \"TEXT\"");
            } else if (what == "rect") {
                step.expect = Expectation::Rect;
                good = b.Count(7, "expect ID rect X Y W H") && b.Long(3, 0, "X", -100000) && b.Long(4, 1, "Y", -100000) &&
                       b.Long(5, 2, "W", 0) && b.Long(6, 3, "H", 0);
            } else {
                for (const Named& state : kStates)
                    if (what == state.name) step.expect = state.value;
                if (step.expect == Expectation::None)
                    good = b.Fail("unknown expectation \"" + tokens[2].text +
                                  "\" (text, checked, unchecked, enabled, disabled, hidden, visible, focused, rect)");
                else
                    good = b.Count(3, "expect ID STATE");
            }
        }
    } else if (verb == "answer") {
        step.op = Op::Answer;
        if (b.Count(2, "answer ok|yes|no|retry|cancel")) {
            const std::string which = Lower(tokens[1].text);
            good = true;
            if (tokens[1].quoted) good = b.Fail("usage: answer ok|yes|no|retry|cancel");
            else if (which == "ok") step.answer = Answer::Ok;
            else if (which == "yes") step.answer = Answer::Yes;
            else if (which == "no") step.answer = Answer::No;
            else if (which == "retry") step.answer = Answer::Retry;
            else if (which == "cancel") step.answer = Answer::Cancel;
            else good = b.Fail("unknown answer \"" + tokens[1].text + "\" (ok, yes, no, retry or cancel)");
        }
    } else if (verb == "close") {
        step.op = Op::Close;
        good = b.Count(1, "close");
    } else if (verb == "clickwindow") {
        step.op = Op::ClickWindow;
        good = b.Count(1, "clickwindow");
    } else if (verb == "shot") {
        step.op = Op::Shot;
        if (b.Count(2, "shot NAME")) {
            step.text = tokens[1].text;
            good = true;
            if (step.text.empty() || step.text.find_first_of("/\\:*?<>|") != std::string::npos)
                good = b.Fail("a shot name is a plain file name (no folders)");
        }
    } else if (verb == "sleep") {
        step.op = Op::Sleep;
        good = b.Count(2, "sleep MS") && b.Long(1, 0, "MS", 0);
    } else {
        good = b.Fail("unknown step \"" + tokens[0].text + "\"");
    }
    if (!good) error = b.error;
    return good;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

} // namespace

bool ParseLine(std::string_view text, int line, Step& step, bool& isStep, ParseError& error) {
    isStep = false;
    std::vector<Token> tokens;
    std::string message = Tokenize(text, tokens);
    if (message.empty() && tokens.empty()) return true;
    step = Step{};
    step.line = line;
    if (message.empty() && BuildStep(tokens, step, message)) {
        isStep = true;
        return true;
    }
    error = {line, std::move(message)};
    return false;
}

Script Parse(std::string_view text) {
    Script script;
    int line = 0;
    size_t start = 0;
    // A UTF-8 byte order mark at the very start is not part of the first step.
    if (text.substr(0, 3) == "\xEF\xBB\xBF") start = 3;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        ++line;
        Step step;
        bool isStep = false;
        ParseError error;
        if (!ParseLine(text.substr(start, end - start), line, step, isStep, error)) script.errors.push_back(error);
        else if (isStep) script.steps.push_back(step);
        start = end + 1;
    }
    return script;
}

std::string Describe(const Step& step) {
    const std::string id = step.idName.empty() ? std::to_string(step.id) : step.idName;
    switch (step.op) {
    case Op::Wait: return "wait " + Quote(step.text);
    case Op::WaitClass: return "waitclass " + Quote(step.text);
    case Op::Set: return "set " + id + " " + Quote(step.text);
    case Op::Click: return "click " + id;
    case Op::Check: return "check " + id;
    case Op::Uncheck: return "uncheck " + id;
    case Op::Select: return "select " + id + " " + std::to_string(step.numbers[0]) + " " + std::to_string(step.numbers[1]);
    case Op::ClickChar: return "clickchar " + id + " " + std::to_string(step.numbers[0]);
    case Op::Combo: return "combo " + id + " " + std::to_string(step.numbers[0]);
    case Op::Focus: return "focus " + id;
    case Op::Type: return "type " + Quote(step.text);
    case Op::Key:
        switch (step.key) {
        case KeyName::Enter: return "key Enter";
        case KeyName::Escape: return "key Escape";
        case KeyName::Tab: return "key Tab";
        default: return std::string("key Ctrl+") + step.letter;
        }
    case Op::Expect:
        switch (step.expect) {
        case Expectation::Caption: return "expect caption " + Quote(step.text);
        case Expectation::Text: return "expect " + id + " text " + Quote(step.text);
        case Expectation::Rect:
            return "expect " + id + " rect " + std::to_string(step.numbers[0]) + " " + std::to_string(step.numbers[1]) +
                   " " + std::to_string(step.numbers[2]) + " " + std::to_string(step.numbers[3]);
        case Expectation::Checked: return "expect " + id + " checked";
        case Expectation::Unchecked: return "expect " + id + " unchecked";
        case Expectation::Enabled: return "expect " + id + " enabled";
        case Expectation::Disabled: return "expect " + id + " disabled";
        case Expectation::Hidden: return "expect " + id + " hidden";
        case Expectation::Visible: return "expect " + id + " visible";
        case Expectation::Focused: return "expect " + id + " focused";
        case Expectation::None: break;
        }
        return "expect " + id;
    case Op::Answer:
        switch (step.answer) {
        case Answer::Yes: return "answer yes";
        case Answer::No: return "answer no";
        case Answer::Retry: return "answer retry";
        case Answer::Cancel: return "answer cancel";
        default: return "answer ok";
        }
    case Op::Close: return "close";
    case Op::ClickWindow: return "clickwindow";
    case Op::Shot: return "shot " + step.text;
    case Op::Sleep: return "sleep " + std::to_string(step.numbers[0]);
    }
    return {};
}

} // namespace uiscript
