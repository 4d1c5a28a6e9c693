#include "core/text.h"

#include <gtest/gtest.h>

using core::String;

TEST(Utf8, RoundTripsEveryPlane) {
    const String text = u"a\u00e9\u20ac\U0001F600z";
    EXPECT_EQ(core::ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
    EXPECT_EQ(core::FromUtf8(core::ToUtf8(text)), text);
}

TEST(Utf8, BrokenInputBecomesReplacementCharacters) {
    struct Case { std::string bytes; String expected; };
    const Case cases[] = {
        {"\xC3", u"\uFFFD"},                 // truncated sequence
        {"\x80x", u"\uFFFDx"},               // stray continuation byte
        {"\xED\xA0\x80", u"\uFFFD"},         // encoded surrogate
        {"\xC0\xAF", u"\uFFFD\uFFFD"},       // overlong form
    };
    for (const auto& c : cases) EXPECT_EQ(core::FromUtf8(c.bytes), c.expected) << c.bytes;
    EXPECT_EQ(core::ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");  // unpaired surrogate
}

TEST(ReplaceAll, ReplacesEveryOccurrenceWithoutRescanning) {
    String text = u"www.wwwexample.www";
    core::ReplaceAll(text, u"www", u"");
    EXPECT_EQ(text, u".example.");
    String grow = u"aa";
    core::ReplaceAll(grow, u"a", u"aa");
    EXPECT_EQ(grow, u"aaaa");
    String same = u"abc";
    core::ReplaceAll(same, u"", u"x");
    EXPECT_EQ(same, u"abc");
}
