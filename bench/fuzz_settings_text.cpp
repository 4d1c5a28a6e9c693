// libFuzzer target: UserSettings.xml and UserPrefs.xml of arbitrary bytes,
// through the portable half of the loaders (the byte-order-mark rules and
// the values in the text). The Windows half converts with the system's code
// pages; here UTF-8 and Windows-1252 stand in for them.

#include "account/settings_text.h"
#include "core/codepage.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

[[noreturn]] void Fail() {
    __builtin_trap();
}

core::String Decode(std::string_view bytes, settings_text::Encoding encoding) {
    switch (encoding) {
    case settings_text::Encoding::Utf8:
        return core::FromUtf8(bytes);
    case settings_text::Encoding::Ansi:
        return core::SingleByteCodePage::Windows1252().Decode(bytes);
    case settings_text::Encoding::Refused:
        break;
    }
    return {};
}

// The text of a file's bytes, as the Windows half reads it.
core::String TextOf(std::string_view bytes) {
    const size_t size = bytes.size();
    const settings_text::Encoding encoding = settings_text::TakeText(bytes);
    if (encoding == settings_text::Encoding::Refused && !bytes.empty()) Fail();
    if (bytes.size() > size || bytes.find('\0') != std::string_view::npos) Fail();
    return Decode(bytes, encoding);
}

// As written: the UTF-8 mark, then the text as UTF-8.
std::string FileBytes(const core::String& text) {
    return "\xEF\xBB\xBF" + core::ToUtf8(text);
}

bool Equal(const settings_text::StoredAccount& a, const settings_text::StoredAccount& b) {
    return a.storedText == b.storedText && a.login == b.login && a.server == b.server && a.endpoint == b.endpoint;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const core::String text = TextOf(bytes);

    // The account: fields that are not in the file keep what they held.
    const settings_text::StoredAccount before{u"old stored", u"old login", u"old server", u"old endpoint"};
    settings_text::StoredAccount account = before;
    const bool accountRead = settings_text::ReadAccount(text, account);
    if (!accountRead && !Equal(account, before)) Fail();

    // The switches: both 0 or 1 after a read, untouched without a root.
    int saveText = 7, hotspot = 7;
    if (settings_text::ReadPreferences(text, saveText, hotspot)) {
        if ((saveText != 0 && saveText != 1) || (hotspot != 0 && hotspot != 1)) Fail();
        if (!accountRead) Fail();  // both look for the same root
    } else if (saveText != 7 || hotspot != 7 || accountRead) {
        Fail();
    }

    // What was read, written back, reads back: the stored text and the login
    // exactly (they are escaped). The server and endpoint are written raw, as
    // files have always held them, so this holds only when neither has a "<"
    // (which could open or close elements around them), and they come back
    // exactly when they also hold no "&" (a value without markup characters
    // is unescaped on reading).
    auto noMarkup = [](const core::String& value) { return value.find(u'<') == core::String::npos; };
    if (accountRead && noMarkup(account.server) && noMarkup(account.endpoint)) {
        settings_text::StoredAccount again{u"x", u"x", u"x", u"x"};
        if (!settings_text::ReadAccount(TextOf(FileBytes(settings_text::AccountDocument(account))), again)) Fail();
        if (again.storedText != account.storedText || again.login != account.login) Fail();
        auto plain = [](const core::String& value) { return value.find(u'&') == core::String::npos; };
        if (plain(account.server) && again.server != account.server) Fail();
        if (plain(account.endpoint) && again.endpoint != account.endpoint) Fail();
    }
    if (saveText == 0 || saveText == 1) {
        int s = 5, h = 5;
        if (!settings_text::ReadPreferences(TextOf(FileBytes(settings_text::PreferencesDocument(saveText, hotspot))), s,
                                            h) ||
            s != saveText || h != hotspot) {
            Fail();
        }
    }
    return 0;
}
