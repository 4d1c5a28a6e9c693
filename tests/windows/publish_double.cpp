#include "tests/windows/publish_double.h"

#include <climits>
#include <cstdlib>

namespace simtest {

PublishDouble::PublishDouble(bool lastTexts) {
    fs::copy_file(PublishingDouble(lastTexts), LibraryPath());
}

void PublishDouble::Script(const std::string& name, const std::string& content) const {
    WriteFile(folder_ / ("KeloPublish." + name), content);
}

void PublishDouble::Unscript(const std::string& name) const {
    std::error_code ignored;
    fs::remove(folder_ / ("KeloPublish." + name), ignored);
}

std::vector<std::string> PublishDouble::Calls(const std::string& exportName) const {
    std::vector<std::string> calls;
    for (const auto& line : Lines(ReadFile(folder_ / "KeloPublish.calls.jsonl")))
        if (Field(line, "export") == exportName) calls.push_back(line);
    return calls;
}

void PublishDouble::ForgetCalls() const { Unscript("calls.jsonl"); }

namespace {

void AppendUtf8(std::string& out, unsigned long code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

std::string Field(const std::string& line, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    size_t at = line.find(key);
    if (at == std::string::npos) return "<no " + name + ">";
    at += key.size();
    if (at >= line.size() || line[at] != '"') return line.substr(at, line.find_first_of(",}", at) - at);
    std::string value;
    for (++at; at < line.size() && line[at] != '"'; ++at) {
        if (line[at] != '\\') {
            value += line[at];
            continue;
        }
        const char escape = ++at < line.size() ? line[at] : '\\';
        switch (escape) {
        case 'n': value += '\n'; break;
        case 'r': value += '\r'; break;
        case 't': value += '\t'; break;
        case 'b': value += '\b'; break;
        case 'f': value += '\f'; break;
        case 'u':
            AppendUtf8(value, std::strtoul(line.substr(at + 1, 4).c_str(), nullptr, 16));
            at += 4;
            break;
        default: value += escape;
        }
    }
    return value;
}

std::wstring WideField(const std::string& line, const std::string& name) {
    const std::string utf8 = Field(line, name);
    if (utf8.empty()) return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
    return wide;
}

long long NumberField(const std::string& line, const std::string& name) {
    const std::string text = Field(line, name);
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    return end == text.c_str() || *end != '\0' ? LLONG_MIN : value;
}

} // namespace simtest
