// KeloPublish.dll test double: the two exports of the publishing library,
// scripted through files in the DLL's own folder so that any test or person
// can decide what it answers and read what it was asked:
//
//   KeloPublish.reply.xml    UTF-8 text that GetBlogIDs writes into the
//                            caller's buffer (absent: GetBlogIDs fails with E_FAIL)
//   KeloPublish.result       the integer PublishToBlogNoGUI returns (absent: 0)
//   KeloPublish.accept       optional: the only login GetBlogIDs accepts (UTF-8,
//                            surrounding white space ignored); any other login
//                            fails with E_FAIL as a rejected account would
//   KeloPublish.unterminated optional, its content ignored: GetBlogIDs writes
//                            the reply's first `capacity` characters with no
//                            NUL after them, as a library whose reply fills
//                            the whole buffer does
//   KeloPublish.calls.jsonl  one JSON line per call, every argument by name,
//                            and whether the caller showed the wait cursor
//
// Built twice. The second build (KELOPUBLISH_LAST_TEXTS, in its own folder)
// also has the two optional exports, scripted the same way:
//
//   KeloPublish.error        UTF-8: GetLastPublishError's text after a failed
//                            call (absent: empty); empty after a success
//   KeloPublish.link         UTF-8: GetLastPostLink's text after a published
//                            post that is no draft (absent: empty)
//
// Calling convention: both exports are declared __stdcall, as the component's
// publishing/publish_library.h expects. On x64 that keyword is ignored and
// both sides use the one Windows x64 convention (first four arguments in
// RCX/RDX/R8/R9, the rest on the stack, caller cleans up); the .def file
// exports the plain names.

#include "tools/common/json_text.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

std::wstring OwnFolder() { return tools::ModuleFolder(reinterpret_cast<HMODULE>(&__ImageBase)); }

void Record(const std::string& fields) { tools::AppendLine(OwnFolder() + L"KeloPublish.calls.jsonl", "{" + fields + "}"); }

std::string Field(const char* name, const wchar_t* value) { return std::string(",\"") + name + "\":" + tools::JsonString(value); }
std::string Field(const char* name, long long value) { return std::string(",\"") + name + "\":" + std::to_string(value); }

// The scripted publish result. A file that holds no integer counts as
// absent (0), and the call record says so.
int ScriptedResult(std::string& note) {
    std::string text;
    if (!tools::ReadWholeFile(OwnFolder() + L"KeloPublish.result", text)) return 0;
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(begin, &end, 0);
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
    if (end == begin || *end != '\0' || errno != 0) {
        note = ",\"resultFileError\":" + tools::JsonString("KeloPublish.result holds no integer: " + text.substr(0, 40));
        return 0;
    }
    return static_cast<int>(value);
}

// False when KeloPublish.accept names a login other than `login`.
bool LoginAccepted(const wchar_t* login) {
    std::string accepted;
    if (!tools::ReadWholeFile(OwnFolder() + L"KeloPublish.accept", accepted)) return true;
    if (accepted.compare(0, 3, "\xEF\xBB\xBF") == 0) accepted.erase(0, 3);
    const char* blank = " \t\r\n";
    const size_t first = accepted.find_first_not_of(blank);
    accepted = first == std::string::npos ? std::string() : accepted.substr(first, accepted.find_last_not_of(blank) - first + 1);
    return login && tools::Wide(accepted) == login;
}

// 1 when the calling thread shows the wait cursor: the editor's sign that
// the library works.
int WaitCursorShown() { return ::GetCursor() == ::LoadCursorW(nullptr, IDC_WAIT) ? 1 : 0; }

// What the last call leaves for the optional exports.
std::wstring lastError;
std::wstring lastLink;

std::wstring ScriptedText(const wchar_t* name) {
    std::string text;
    if (!tools::ReadWholeFile(OwnFolder() + name, text)) return {};
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return tools::Wide(text);
}

} // namespace

extern "C" __declspec(dllexport) int __stdcall GetBlogIDs(int serviceType, const wchar_t* server,
                                                          const wchar_t* endpoint, const wchar_t* login,
                                                          const wchar_t* password, wchar_t* buffer, int capacity) {
    std::string reply;
    int result = static_cast<int>(E_FAIL);
    if (LoginAccepted(login) && tools::ReadWholeFile(OwnFolder() + L"KeloPublish.reply.xml", reply) && buffer &&
        capacity > 0) {
        if (reply.compare(0, 3, "\xEF\xBB\xBF") == 0) reply.erase(0, 3);
        const std::wstring text = tools::Wide(reply);
        std::string ignored;
        if (tools::ReadWholeFile(OwnFolder() + L"KeloPublish.unterminated", ignored)) {
            // Cut to the buffer, with no NUL anywhere.
            text.copy(buffer, std::min(text.size(), static_cast<size_t>(capacity)));
        } else {
            // Cut to the buffer, always NUL-terminated.
            const size_t length = std::min(text.size(), static_cast<size_t>(capacity) - 1);
            text.copy(buffer, length);
            buffer[length] = L'\0';
        }
        result = 0;
    }
    lastError = result == 0 ? std::wstring() : ScriptedText(L"KeloPublish.error");
    Record("\"export\":\"GetBlogIDs\"" + Field("serviceType", serviceType) + Field("server", server) +
           Field("endpoint", endpoint) + Field("login", login) + Field("password", password) +
           Field("capacity", capacity) + Field("result", result) + Field("waitCursor", WaitCursorShown()));
    return result;
}

extern "C" __declspec(dllexport) int __stdcall PublishToBlogNoGUI(int serviceType, const wchar_t* server,
                                                                  const wchar_t* endpoint, const wchar_t* imagePath,
                                                                  const wchar_t* login, const wchar_t* password,
                                                                  const wchar_t* blogId, const wchar_t* title,
                                                                  const wchar_t* htmlBody, int draft,
                                                                  const wchar_t* blogAddress) {
    std::string note;
    const int result = ScriptedResult(note);
    lastError = result == 1 ? ScriptedText(L"KeloPublish.error") : std::wstring();
    lastLink = result == 1 || draft ? std::wstring() : ScriptedText(L"KeloPublish.link");
    Record("\"export\":\"PublishToBlogNoGUI\"" + Field("serviceType", serviceType) + Field("server", server) +
           Field("endpoint", endpoint) + Field("imagePath", imagePath) + Field("login", login) +
           Field("password", password) + Field("blogId", blogId) + Field("title", title) +
           Field("htmlBody", htmlBody) + Field("draft", draft) + Field("blogAddress", blogAddress) +
           Field("result", result) + Field("waitCursor", WaitCursorShown()) + note);
    return result;
}

#ifdef KELOPUBLISH_LAST_TEXTS

namespace {
// `text` into the caller's buffer, cut to `capacity` with its NUL; the
// length copied, without the NUL.
int CopyOut(const std::wstring& text, wchar_t* buffer, int capacity) {
    if (!buffer || capacity <= 0) return 0;
    const size_t length = std::min(text.size(), static_cast<size_t>(capacity) - 1);
    text.copy(buffer, length);
    buffer[length] = L'\0';
    return static_cast<int>(length);
}
} // namespace

extern "C" __declspec(dllexport) int __stdcall GetLastPublishError(wchar_t* buffer, int capacity) {
    const int result = CopyOut(lastError, buffer, capacity);
    Record("\"export\":\"GetLastPublishError\"" + Field("capacity", capacity) + Field("result", result));
    return result;
}

extern "C" __declspec(dllexport) int __stdcall GetLastPostLink(wchar_t* buffer, int capacity) {
    const int result = CopyOut(lastLink, buffer, capacity);
    Record("\"export\":\"GetLastPostLink\"" + Field("capacity", capacity) + Field("result", result));
    return result;
}

#endif
