#pragma once
// Text files beneath the two settings files: reading with the byte-order-mark
// rules, atomic writing as UTF-8 with a mark, the data folder, and the
// scrambling of the stored password.

#include "core/text.h"

#include <functional>

namespace settings_file {

// `folder`, a backslash unless it already ends in one, then `fileName`.
core::String PathIn(const core::String& folder, core::StringView fileName);

// Something (file or folder) exists at `path`.
bool Exists(const core::String& path);

// Reads a settings file: UTF-8 after an EF BB BF mark, refused with a UTF-16
// mark, otherwise decoded from the thread's ANSI code page; the text ends at
// the first zero byte. While the file is open others may read, not write it.
// False (and `text` empty) when the file cannot be opened or read, is UTF-16,
// or is larger than settings_text::kMaxFileBytes.
bool Read(const core::String& path, core::String& text);

// Writes EF BB BF and `text` as UTF-8 into a temporary file beside `path`
// and then puts it in place of `path` in one step, so a failed or cut-off
// write leaves the old file whole. False when anything failed.
bool Write(const core::String& path, const core::String& text);

// Creates `folder` and every missing folder above it, top down, when nothing
// exists at its path. Failures are not reported: the write that follows fails.
void EnsureFolder(const core::String& folder);

// The fixed one-byte key; exclusive or with it scrambles and unscrambles.
// A control character that no password box can produce in the single-byte
// or double-byte ANSI code pages (it is below every lead and trail byte),
// and that keeps scrambled ASCII in ASCII without control characters.
inline constexpr unsigned char kScrambleKey = 0x13;

// Combines the text's ANSI form byte by byte with kScrambleKey and converts
// back; its own inverse. The result is cut at the first zero byte.
core::String ScrambleStoredText(const core::String& text);

// False when unscrambling the scrambled form would not give the ANSI form of
// `text` back (it holds the key byte or a zero byte, which cut it): such a
// text cannot be stored whole.
bool CanScrambleWhole(const core::String& text);

// For tests: what Write does when it has put the first half of its bytes
// into the temporary file.
enum class WriteFault {
    None,         // go on
    FailWrite,    // as a full disk: the write fails and cleans up after itself
    KillProcess,  // as a killed process: the handle closes as the system would close it,
                  // and nothing is replaced or cleaned up
};
// An empty function removes the hook.
void SetWriteFaultHookForTesting(std::function<WriteFault()> hook);

} // namespace settings_file
