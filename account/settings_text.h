#pragma once
// The portable half of the settings files: what their bytes hold and the
// account and preference values in their text. No file access here; the
// Windows side (settings_file_win.h) reads and writes the files and does the
// code-page conversions.

#include "core/text.h"

#include <cstddef>
#include <string_view>

namespace settings_text {

// A settings file is a few hundred bytes. A larger one is not ours (or is
// damaged) and is not read, so a stray huge file never fills the host's
// memory and every position in the text fits the reader's int positions.
inline constexpr size_t kMaxFileBytes = 1 << 20;

enum class Encoding {
    Utf8,     // after an EF BB BF mark
    Ansi,     // no mark: the thread's ANSI code page
    Refused,  // a UTF-16 mark, or more than kMaxFileBytes: nothing is taken
};

// Classifies a settings file's bytes by their byte-order mark and narrows
// `bytes` to the text: after the UTF-8 mark, up to the first zero byte.
// Refused leaves `bytes` empty.
Encoding TakeText(std::string_view& bytes);

// The account in UserSettings.xml, as stored: the password scrambled.
struct StoredAccount {
    core::String storedText;
    core::String login;
    core::String server;
    core::String endpoint;
};

// Reads the account from the file's text into `account`: false when the
// text has no root element (nothing changes). A missing element leaves its
// field as it was; the elements are looked for in the order written.
bool ReadAccount(const core::String& text, StoredAccount& account);

// Reads the two switches: false when the text has no root element (nothing
// changes). Remembering is on only for an exact "1", the hotspot warning off
// only for an exact "0"; missing elements read as those defaults.
bool ReadPreferences(const core::String& text, int& saveText, int& displayHotspotWarning);

// The texts of the two files, line by line as they have always been written
// (declaration, CR LF, four-space indent). `account.storedText` is already
// scrambled; it and the login are escaped here, server and endpoint are
// written as they stand.
core::String AccountDocument(const StoredAccount& account);
core::String PreferencesDocument(int saveText, int displayHotspotWarning);

} // namespace settings_text
