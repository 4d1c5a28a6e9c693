// BlogPostSession's four settings-file operations: UserSettings.xml (the
// account) and UserPrefs.xml (the two switches) in the data folder. The
// files are composed as text and read back by searching for tags; their
// bytes are fixed (UTF-8 mark, CR LF, four-space indent), since files
// written by earlier versions must keep loading and these must load there.
// Reading and writing never show a message: a failed read looks like a
// missing value, a failed write is dropped.

#include "account/blog_post_session.h"
#include "account/settings_file_win.h"
#include "account/settings_text.h"
#include "framework/wide.h"

#include <utility>

namespace {

constexpr char16_t kAccountFile[] = u"UserSettings.xml";
constexpr char16_t kPreferencesFile[] = u"UserPrefs.xml";

// A settings file's text; empty when the file is missing, unreadable or
// refused (all look the same to the loaders: no root element).
core::String ReadText(const core::String& path) {
    core::String text;
    settings_file::Read(path, text);
    return text;
}

} // namespace

bool BlogPostSession::LoadAccount() {
    if (dataFolder.empty()) return false;
    const core::String path = settings_file::PathIn(dataFolder, kAccountFile);
    if (!settings_file::Exists(path)) return false;
    // A missing element keeps the field as it was.
    settings_text::StoredAccount stored{password, login, server, endpoint};
    if (!settings_text::ReadAccount(ReadText(path), stored)) return false;
    password = settings_file::ScrambleStoredText(stored.storedText);
    login = std::move(stored.login);
    server = std::move(stored.server);
    endpoint = std::move(stored.endpoint);
    return true;
}

bool BlogPostSession::LoadPreferences(int& saveTextFlag) {
    if (dataFolder.empty()) return false;
    const core::String path = settings_file::PathIn(dataFolder, kPreferencesFile);
    if (!settings_file::Exists(path)) {
        saveTextFlag = 0;
        return false;
    }
    return settings_text::ReadPreferences(ReadText(path), saveTextFlag, displayHotspotWarning);
}

bool BlogPostSession::SaveAccount() {
    if (password.empty() || login.empty()) return false;
    // No data folder would put the file at the root of the current drive.
    if (dataFolder.empty()) return false;
    // A password that the scrambling would cut is not stored at all: the old
    // file stays rather than a shortened password that can never log in.
    if (!settings_file::CanScrambleWhole(password)) return false;

    const core::String text =
        settings_text::AccountDocument({settings_file::ScrambleStoredText(password), login, server, endpoint});

    settings_file::EnsureFolder(dataFolder);
    settings_file::Write(settings_file::PathIn(dataFolder, kAccountFile), text);
    return true;
}

bool BlogPostSession::SavePreferences(int flag) {
    saveText = flag;
    if (dataFolder.empty()) return true;  // nowhere to keep anything

    // The account file first: turning remembering off forgets the account.
    if (saveText) {
        SaveAccount();
    } else {
        const core::String accountPath = settings_file::PathIn(dataFolder, kAccountFile);
        if (settings_file::Exists(accountPath)) ::DeleteFileW(fw::W(accountPath));
    }

    const core::String text = settings_text::PreferencesDocument(saveText, displayHotspotWarning);
    settings_file::EnsureFolder(dataFolder);
    settings_file::Write(settings_file::PathIn(dataFolder, kPreferencesFile), text);
    return true;
}
