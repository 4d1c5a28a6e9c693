#pragma once
// JSON Lines output of the stand-ins (the host simulator's log, the
// publishing double's call record): strings from UTF-16 or UTF-8, escaped as
// JSON requires, written as UTF-8. Header-only, so the stand-ins stay free of
// the component's libraries.

#include <windows.h>

#include <string>
#include <string_view>

namespace tools {

inline std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

inline std::wstring Wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

// A JSON string literal of UTF-8 text (quotes included).
inline std::string JsonString(std::string_view utf8) {
    static const char hex[] = "0123456789abcdef";
    std::string out = "\"";
    for (char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    out += '"';
    return out;
}

// A null pointer becomes JSON null: the callee got no text at all.
inline std::string JsonString(const wchar_t* wide) {
    return wide ? JsonString(Utf8(wide)) : std::string("null");
}

// Appends one line to a file, opened for appending each time so that
// several processes (or a crashed one) never lose or interleave lines.
inline bool AppendLine(const std::wstring& path, const std::string& line) {
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const std::string bytes = line + "\n";
    DWORD written = 0;
    const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    ::CloseHandle(file);
    return ok;
}

// The whole content of a file, or false when it cannot be read.
inline bool ReadWholeFile(const std::wstring& path, std::string& content) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    content.clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) content.append(buffer, got);
    ::CloseHandle(file);
    return ok;
}

// Folder of a module (with a trailing backslash).
inline std::wstring ModuleFolder(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) { path.resize(n); break; }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

} // namespace tools
