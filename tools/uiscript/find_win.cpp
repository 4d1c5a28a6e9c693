#include "tools/uiscript/find.h"

#include <commctrl.h>

namespace uiscript {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::string Quoted(const std::wstring& text) {
    std::string out(1, '"');  // built by appending: gcc 12 warns falsely on "literal" + temporary
    out += Utf8(text);
    out += '"';
    return out;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    ::GetClassNameW(window, name, 256);
    return name;
}

// Only WM_GETTEXT is sent, into a buffer that grows while the text fills it:
// reading a window must not send it anything else (a test may give a window
// its own answer to WM_GETTEXTLENGTH, or make that answer wait on a box that
// this very reader is looking for).
std::wstring TextOf(HWND window) {
    std::wstring text(1024, L'\0');
    for (;;) {
        LRESULT length = ::SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        if (length < 0) length = 0;
        if (static_cast<size_t>(length) + 1 < text.size() || text.size() >= (1u << 24)) {
            text.resize(static_cast<size_t>(length));
            return text;
        }
        text.assign(text.size() * 2, L'\0');
    }
}

bool BelongsTo(HWND window, DWORD processId) {
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    return process == processId;
}

namespace {

struct Search {
    const WindowMatch* match;
    DWORD processId;  // 0: any (the thread's windows)
    HWND found = nullptr;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<Search*>(data);
    if ((s->processId && !BelongsTo(window, s->processId)) || !::IsWindowVisible(window)) return TRUE;
    if ((*s->match)(window)) { s->found = window; return FALSE; }
    return TRUE;
}

} // namespace

HWND FindTopLevel(DWORD processId, const WindowMatch& match) {
    Search search{&match, processId};
    ::EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindThreadWindow(DWORD thread, const WindowMatch& match) {
    Search search{&match, 0};
    ::EnumThreadWindows(thread, Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindControl(HWND window, int id) {
    if (HWND control = ::GetDlgItem(window, id)) return control;
    struct Search { int id; HWND found; } search{id, nullptr};
    ::EnumChildWindows(window, [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (::GetDlgCtrlID(child) != s->id) return TRUE;
        s->found = child;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FindToolbarWith(HWND window, int command) {
    struct Search { int command; HWND found; } search{command, nullptr};
    ::EnumChildWindows(window, [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (ClassOf(child) != TOOLBARCLASSNAMEW) return TRUE;
        DWORD_PTR index = static_cast<DWORD_PTR>(-1);
        if (::SendMessageTimeoutW(child, TB_COMMANDTOINDEX, s->command, 0, SMTO_NORMAL, 2000, &index) &&
            static_cast<int>(index) >= 0) {
            s->found = child;
            return FALSE;
        }
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND FocusOf(DWORD thread) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!thread || !::GetGUIThreadInfo(thread, &info)) return nullptr;
    return info.hwndFocus;
}

} // namespace uiscript
