#include "account/settings_file_win.h"

#include "account/settings_text.h"
#include "framework/handles.h"
#include "framework/wide.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <utility>

namespace settings_file {

namespace {

std::function<WriteFault()>& FaultHook() {
    static std::function<WriteFault()> hook;
    return hook;
}

bool IsSeparator(char16_t c) {
    return c == u'\\' || c == u'/';
}

core::String FromCodePage(UINT codePage, std::string_view bytes) {
    if (bytes.empty()) return {};
    const int length = static_cast<int>(bytes.size());
    const int wide = ::MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    if (wide <= 0) return {};
    core::String text(static_cast<size_t>(wide), u'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), wide);
    return text;
}

std::string ToAnsi(const core::String& text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const wchar_t* wide = fw::W(text);
    // No flags: what the code page cannot hold becomes its default character.
    const int narrow = ::WideCharToMultiByte(CP_THREAD_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return {};
    std::string bytes(static_cast<size_t>(narrow), '\0');
    ::WideCharToMultiByte(CP_THREAD_ACP, 0, wide, length, bytes.data(), narrow, nullptr, nullptr);
    return bytes;
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!::WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

} // namespace

core::String PathIn(const core::String& folder, core::StringView fileName) {
    core::String path = folder;
    if (path.empty() || path.back() != u'\\') path += u'\\';
    path.append(fileName);
    return path;
}

bool Exists(const core::String& path) {
    return ::GetFileAttributesW(fw::W(path)) != INVALID_FILE_ATTRIBUTES;
}

bool Read(const core::String& path, core::String& text) {
    text.clear();
    // Readers let others read but not write while they hold the file.
    fw::UniqueFile file(::CreateFileW(fw::W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;

    // Read no further than one byte past the largest settings file: a bigger
    // file is refused without being held in memory.
    std::string bytes;
    char buffer[4096];
    while (bytes.size() <= settings_text::kMaxFileBytes) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) break;
        bytes.append(buffer, got);
    }

    std::string_view textBytes = bytes;
    switch (settings_text::TakeText(textBytes)) {
    case settings_text::Encoding::Refused:
        return false;  // UTF-16, or too large to be a settings file
    case settings_text::Encoding::Utf8:
        text = FromCodePage(CP_UTF8, textBytes);
        return true;
    case settings_text::Encoding::Ansi:
        break;
    }
    text = FromCodePage(CP_THREAD_ACP, textBytes);
    return true;
}

bool Write(const core::String& path, const core::String& text) {
    // The temporary file lies beside the target, on the same volume, so the
    // replacement below is a rename. A fixed name: what a killed write left
    // behind is overwritten by the next one instead of piling up.
    const core::String temporary = path + u".tmp";
    fw::UniqueFile file(::CreateFileW(fw::W(temporary), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;

    std::string bytes = "\xEF\xBB\xBF" + core::ToUtf8(text);
    const size_t half = bytes.size() / 2;
    bool written = WriteAll(file.get(), bytes.data(), half);
    if (written && FaultHook()) {
        switch (FaultHook()()) {
        case WriteFault::None:
            break;
        case WriteFault::FailWrite:
            written = false;
            break;
        case WriteFault::KillProcess:
            return false;  // the handle closes; the temporary file stays, the target is untouched
        }
    }
    written = written && WriteAll(file.get(), bytes.data() + half, bytes.size() - half) &&
              ::FlushFileBuffers(file.get());
    file.reset();
    if (written &&
        ::MoveFileExW(fw::W(temporary), fw::W(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    ::DeleteFileW(fw::W(temporary));
    return false;
}

void EnsureFolder(const core::String& folder) {
    const DWORD attributes = ::GetFileAttributesW(fw::W(folder));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
    // Every prefix that ends before a separator is a level ("C:" and the
    // server of a UNC path fail harmlessly), then the folder itself.
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i < folder.size() && !IsSeparator(folder[i])) continue;
        if (IsSeparator(folder[i - 1])) continue;
        const core::String level = folder.substr(0, i);
        if (::GetFileAttributesW(fw::W(level)) == INVALID_FILE_ATTRIBUTES) ::CreateDirectoryW(fw::W(level), nullptr);
    }
}

core::String ScrambleStoredText(const core::String& text) {
    std::string bytes = ToAnsi(text);
    for (char& byte : bytes) byte = static_cast<char>(static_cast<unsigned char>(byte) ^ kScrambleKey);
    if (const size_t zero = bytes.find('\0'); zero != std::string::npos) bytes.resize(zero);
    return FromCodePage(CP_THREAD_ACP, bytes);
}

bool CanScrambleWhole(const core::String& text) {
    // Unscrambling the scrambled form must give the same ANSI bytes back. The
    // key byte (or a zero byte) in the ANSI form cuts it, and a double-byte
    // code page may turn scrambled bytes into sequences it cannot convert.
    return ToAnsi(ScrambleStoredText(ScrambleStoredText(text))) == ToAnsi(text);
}

void SetWriteFaultHookForTesting(std::function<WriteFault()> hook) {
    FaultHook() = std::move(hook);
}

} // namespace settings_file
