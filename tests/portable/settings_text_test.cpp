// The settings files' bytes and text without the file system: which bytes
// are taken as text, and what reading leaves alone.

#include "account/settings_text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using settings_text::Encoding;

TEST(SettingsText, TakeTextFollowsTheMarkZeroByteAndSizeRules) {
    const std::string atLimit(settings_text::kMaxFileBytes, 'a');
    const std::string overLimit(settings_text::kMaxFileBytes + 1, 'a');
    struct Case {
        const char* what;
        std::string bytes;
        Encoding encoding;
        std::string text;
    } cases[] = {
        {"empty", "", Encoding::Ansi, ""},
        {"UTF-8 mark", "\xEF\xBB\xBF<a>", Encoding::Utf8, "<a>"},
        {"UTF-8 mark alone", "\xEF\xBB\xBF", Encoding::Utf8, ""},
        {"cut UTF-8 mark", "\xEF\xBB", Encoding::Ansi, "\xEF\xBB"},
        {"no mark", "<a>\xE9", Encoding::Ansi, "<a>\xE9"},
        {"UTF-16 little-endian", std::string("\xFF\xFE<\0a\0", 6), Encoding::Refused, ""},
        {"UTF-16 big-endian", std::string("\xFE\xFF\0<\0a", 6), Encoding::Refused, ""},
        {"zero byte ends the text", std::string("<a>1\0</a>", 9), Encoding::Ansi, "<a>1"},
        {"zero byte after the mark", std::string("\xEF\xBB\xBF\0<a>", 7), Encoding::Utf8, ""},
        {"largest settings file", atLimit, Encoding::Ansi, atLimit},
        {"one byte more", overLimit, Encoding::Refused, ""},
    };
    for (const Case& c : cases) {
        std::string_view bytes = c.bytes;
        EXPECT_EQ(settings_text::TakeText(bytes), c.encoding) << c.what;
        EXPECT_EQ(std::string(bytes), c.text) << c.what;
    }
}

TEST(SettingsText, TextWithoutTheRootChangesNothing) {
    for (const char16_t* text : {u"", u"<userprefs>", u"<Login>ann</Login>", u"<userprefs\t><Login>a</Login></userprefs\t>"}) {
        settings_text::StoredAccount account{u"s", u"l", u"v", u"e"};
        EXPECT_FALSE(settings_text::ReadAccount(text, account));
        EXPECT_EQ(account.storedText + account.login + account.server + account.endpoint, u"slve");
        int saveText = 5, hotspot = 6;
        EXPECT_FALSE(settings_text::ReadPreferences(text, saveText, hotspot));
        EXPECT_EQ(saveText, 5);
        EXPECT_EQ(hotspot, 6);
    }
}

TEST(SettingsText, WrittenDocumentsReadBack) {
    const settings_text::StoredAccount written{u"\x01<&>\"'", u"ann & \"o'<b>\" &lt;", u"http://x/?a>b", u"/rpc"};
    settings_text::StoredAccount read{};
    ASSERT_TRUE(settings_text::ReadAccount(settings_text::AccountDocument(written), read));
    EXPECT_EQ(read.storedText, written.storedText);
    EXPECT_EQ(read.login, written.login);
    EXPECT_EQ(read.server, written.server);
    EXPECT_EQ(read.endpoint, written.endpoint);
    for (int saveText : {0, 1}) {
        for (int hotspot : {0, 1}) {
            int s = 7, h = 7;
            ASSERT_TRUE(settings_text::ReadPreferences(settings_text::PreferencesDocument(saveText, hotspot), s, h));
            EXPECT_EQ(s, saveText);
            EXPECT_EQ(h, hotspot);
        }
    }
}

} // namespace
