#include "account/settings_text.h"

#include "core/kelo_xml_string.h"

namespace settings_text {

namespace {

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

bool ReadRoot(const core::String& text, KeloXmlString& root) {
    KeloXmlString file(text);
    int position = 0;
    return file.GetChild(kRootName, root, position);
}

} // namespace

Encoding TakeText(std::string_view& bytes) {
    if (bytes.size() > kMaxFileBytes || bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        bytes = {};
        return Encoding::Refused;
    }
    Encoding encoding = Encoding::Ansi;
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        encoding = Encoding::Utf8;
    }
    // The text ends at the first zero byte, as a narrow string would.
    bytes = bytes.substr(0, bytes.find('\0'));
    return encoding;
}

bool ReadAccount(const core::String& text, StoredAccount& account) {
    KeloXmlString root;
    if (!ReadRoot(text, root)) return false;
    int position = 0;
    root.GetValue(u"StoredText", account.storedText, position);
    root.GetValue(u"Login", account.login, position);
    root.GetValue(u"Server", account.server, position);
    root.GetValue(u"Endpoint", account.endpoint, position);
    return true;
}

bool ReadPreferences(const core::String& text, int& saveText, int& displayHotspotWarning) {
    KeloXmlString root;
    if (!ReadRoot(text, root)) return false;
    core::String saveTextValue, hotspotValue;
    int position = 0;
    root.GetValue(u"SaveText", saveTextValue, position);
    root.GetValue(u"DisplayHotspotWarning", hotspotValue, position);
    displayHotspotWarning = hotspotValue == u"0" ? 0 : 1;
    saveText = saveTextValue == u"1" ? 1 : 0;
    return true;
}

core::String AccountDocument(const StoredAccount& account) {
    core::String storedText = account.storedText;
    KeloXmlString::XmlEscape(storedText);
    core::String login = account.login;
    KeloXmlString::XmlEscape(login);
    // Server and endpoint go in as typed, unescaped, as they always have.
    return Document(Line(u"StoredText", storedText) + Line(u"Login", login) + Line(u"Server", account.server) +
                    Line(u"Endpoint", account.endpoint));
}

core::String PreferencesDocument(int saveText, int displayHotspotWarning) {
    return Document(Line(u"SaveText", core::DecimalText(saveText)) +
                    Line(u"DisplayHotspotWarning", core::DecimalText(displayHotspotWarning)));
}

} // namespace settings_text
