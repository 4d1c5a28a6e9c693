// BlogPostSession's four settings-file operations: UserSettings.xml (the
// account) and UserPrefs.xml (the two switches) in the data folder. The
// files are composed as text and read back by searching for tags; their
// bytes are fixed (UTF-8 mark, CR LF, four-space indent), since files
// written by earlier versions must keep loading and these must load there.
// Reading and writing never show a message: a failed read looks like a
// missing value, a failed write is dropped.

#include "account/blog_post_session.h"
#include "core/kelo_xml_string.h"
#include "account/settings_file_win.h"
#include "framework/wide.h"

namespace {

constexpr char16_t kAccountFile[] = u"UserSettings.xml";
constexpr char16_t kPreferencesFile[] = u"UserPrefs.xml";
constexpr char16_t kDeclaration[] = u"<?xml version=\"1.0\" encoding=\"utf-8\" ?>\r\n";
constexpr char16_t kRootName[] = u"userprefs";

// Four spaces, the element, CR LF.
core::String Line(core::StringView name, core::StringView value) {
    core::String line = u"    <";
    line.append(name);
    line += u'>';
    line.append(value);
    line += u"</";
    line.append(name);
    line += u">\r\n";
    return line;
}

core::String Document(const core::String& children) {
    return core::String(kDeclaration) + u"<userprefs>\r\n" + children + u"</userprefs>\r\n";
}

// The root element of a settings file; false when the file is missing,
// unreadable or has no root (all look the same to the loaders).
bool ReadRoot(const core::String& path, KeloXmlString& root) {
    core::String text;
    settings_file::Read(path, text);  // a failed read leaves the text empty
    KeloXmlString file(text);
    int position = 0;
    return file.GetChild(kRootName, root, position);
}

} // namespace

bool BlogPostSession::LoadAccount() {
    if (dataFolder.empty()) return false;
    const core::String path = settings_file::PathIn(dataFolder, kAccountFile);
    if (!settings_file::Exists(path)) return false;
    KeloXmlString root;
    if (!ReadRoot(path, root)) return false;

    // In the order written; a missing element keeps the field as it was.
    int position = 0;
    root.GetValue(u"StoredText", password, position);
    root.GetValue(u"Login", login, position);
    root.GetValue(u"Server", server, position);
    root.GetValue(u"Endpoint", endpoint, position);
    password = settings_file::ScrambleStoredText(password);
    return true;
}

bool BlogPostSession::LoadPreferences(int& saveTextFlag) {
    if (dataFolder.empty()) return false;
    const core::String path = settings_file::PathIn(dataFolder, kPreferencesFile);
    if (!settings_file::Exists(path)) {
        saveTextFlag = 0;
        return false;
    }
    KeloXmlString root;
    if (!ReadRoot(path, root)) return false;

    core::String saveTextValue, hotspotValue;
    int position = 0;
    root.GetValue(u"SaveText", saveTextValue, position);
    root.GetValue(u"DisplayHotspotWarning", hotspotValue, position);
    // Remembering is on only for an exact "1"; the warning is off only for an exact "0".
    displayHotspotWarning = hotspotValue == u"0" ? 0 : 1;
    saveTextFlag = saveTextValue == u"1" ? 1 : 0;
    return true;
}

bool BlogPostSession::SaveAccount() {
    if (password.empty() || login.empty()) return false;
    // No data folder would put the file at the root of the current drive.
    if (dataFolder.empty()) return false;
    // A password that the scrambling would cut is not stored at all: the old
    // file stays rather than a shortened password that can never log in.
    if (!settings_file::CanScrambleWhole(password)) return false;

    core::String storedText = settings_file::ScrambleStoredText(password);
    KeloXmlString::XmlEscape(storedText);
    core::String userName = login;
    KeloXmlString::XmlEscape(userName);
    // Server and endpoint go in as typed, unescaped, as they always have.
    const core::String text = Document(Line(u"StoredText", storedText) + Line(u"Login", userName) +
                                       Line(u"Server", server) + Line(u"Endpoint", endpoint));

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

    const core::String text = Document(Line(u"SaveText", core::DecimalText(saveText)) +
                                       Line(u"DisplayHotspotWarning", core::DecimalText(displayHotspotWarning)));
    settings_file::EnsureFolder(dataFolder);
    settings_file::Write(settings_file::PathIn(dataFolder, kPreferencesFile), text);
    return true;
}
