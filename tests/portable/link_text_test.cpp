#include "core/link_text.h"

#include <gtest/gtest.h>

using core::String;

TEST(TextSize, TableAndFallback) {
    const int heights[] = {170, 200, 240, 280, 360, 480, 720};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(core::TextSizeHeight(i), heights[i]);
        EXPECT_EQ(core::TextSizeIndex(heights[i]), i);
    }
    // No selection in the box (CB_ERR) or an index past the table: 10 points.
    EXPECT_EQ(core::TextSizeHeight(-1), 200);
    EXPECT_EQ(core::TextSizeHeight(7), 200);
    // 11 points (pasted text) and the dialog font's 8.25 points are not offered.
    EXPECT_EQ(core::TextSizeIndex(220), std::nullopt);
    EXPECT_EQ(core::TextSizeIndex(165), std::nullopt);
}

TEST(NormalizeUrl, AddsHttpOnlyWithoutAKnownScheme) {
    struct Case { String in, out; };
    const Case cases[] = {
        {u"", u""},
        {u"example.org", u"http://example.org"},
        {u"ftp://files.example.org", u"ftp://files.example.org"},
        {u"see https://x.org", u"see https://x.org"},   // anywhere, not only at the start
        {u"ftps://x", u"ftps://x"},
        {u"HTTP://x.org", u"http://HTTP://x.org"},      // the schemes are case-sensitive
        {u"mailto:a@b", u"http://mailto:a@b"},
    };
    for (const auto& c : cases) EXPECT_EQ(core::NormalizeUrl(c.in), c.out) << core::ToUtf8(c.in);
}

TEST(VisiblePart, CutsAtTheFirstHash) {
    EXPECT_EQ(core::VisiblePart(u"Home#\"http://x\""), u"Home");
    EXPECT_EQ(core::VisiblePart(u"a#b#c"), u"a");
    EXPECT_EQ(core::VisiblePart(u"#x"), u"");
    EXPECT_EQ(core::VisiblePart(u"plain"), u"plain");
}

TEST(LinkAddress, BuildsUrlAndMailtoOrNothing) {
    struct Case { core::LinkChoice choice; std::optional<String> address; };
    const Case cases[] = {
        {{true, u"Home", u"example.org", u"", u""}, u"http://example.org"},
        {{true, u"Home", u"https://x.org/?q=1", u"ignored@x", u"ignored"}, u"https://x.org/?q=1"},
        {{false, u"Mail me", u"left alone", u"me@x.org", u"Hi there"}, u"mailto:me@x.org?subject=Hi there"},
        {{false, u"Mail me", u"", u"me@x.org", u""}, u"mailto:me@x.org"},
        // Nothing is inserted without a display text or the chosen type's address.
        {{true, u"", u"example.org", u"", u""}, std::nullopt},
        {{true, u"Home", u"", u"me@x.org", u""}, std::nullopt},
        {{false, u"Mail", u"example.org", u"", u"subject only"}, std::nullopt},
        // A quote would end the hidden address early.
        {{true, u"q", u"x.org/a\"b", u"", u""}, u"http://x.org/a%22b"},
        {{false, u"q", u"", u"me@x.org", u"say \"hi\""}, u"mailto:me@x.org?subject=say %22hi%22"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(core::LinkAddress(c.choice), c.address) << core::ToUtf8(c.choice.displayText);
    }
}

TEST(LinkRtf, EscapesWhatRtfWouldReadAsMarkup) {
    EXPECT_EQ(core::ComposeLinkRtf(u"Home", u"http://example.org/x"),
              "{\\rtf1\\ansi Home\\v #\"http://example.org/x\"\\v0}");
    struct Case { String in; std::string out; };
    const Case cases[] = {
        {u"C:\\dir", "C:\\\\dir"},
        {u"{braces}", "\\{braces\\}"},
        {u"\\par not a paragraph", "\\\\par not a paragraph"},
        {u"caf\u00e9", "caf\\u233?"},
        {u"\u20ac", "\\u8364?"},
        {u"\uFFFD", "\\u-3?"},                         // signed 16-bit
        {u"\U0001F600", "\\u-10179?\\u-8704?"},         // a surrogate pair, unit by unit
        {u"a\tb", "a\\u9?b"},
        {u"\"quoted\" #1", "\"quoted\" #1"},           // only the address has its quotes replaced
    };
    for (const auto& c : cases) EXPECT_EQ(core::EscapeRtfText(c.in), c.out) << c.out;
    EXPECT_EQ(core::ComposeLinkRtf(u"{x}", u"http://h/a\\b"),
              "{\\rtf1\\ansi \\{x\\}\\v #\"http://h/a\\\\b\"\\v0}");
    EXPECT_EQ(core::HiddenLinkLength(u"http://x"), 11u);
}
