#include "rtfhtml/rtf_html_converter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using core::String;

namespace {

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

struct Example {
    std::string title;
    std::string call;  // "convert" or "post"
    String rtf;
    String html;
};

// Reads the example file; see its header for the format.
std::vector<Example> ReadExamples(const std::string& path) {
    std::string text = ReadFileBytes(path);
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // checked out with CRLF
        lines.push_back(line);
    }
    auto decode = [](const std::vector<std::string>& block) {
        std::string joined;
        for (size_t k = 0; k < block.size(); ++k) joined += (k ? "\n" : "") + block[k];
        String out = core::FromUtf8(joined);
        core::ReplaceAll(out, u"\u240D", u"\r");
        core::ReplaceAll(out, u"\u2192", u"\t");
        return out;
    };
    std::vector<Example> examples;
    size_t k = 0;
    while (k < lines.size()) {
        if (lines[k].rfind("## ", 0) != 0) {
            ++k;
            continue;
        }
        Example example;
        example.title = lines[k].substr(3);
        example.call = k + 1 < lines.size() ? lines[k + 1] : "";
        k += 2;
        std::vector<std::string> rtf, html;
        while (k < lines.size() && lines[k] != ".") rtf.push_back(lines[k++]);
        ++k;
        while (k < lines.size() && !lines[k].empty()) html.push_back(lines[k++]);
        example.rtf = decode(rtf);
        example.html = decode(html);
        examples.push_back(example);
    }
    return examples;
}

String ConvertAsPost(String rtf) {
    return RtfHtmlConverter().Convert(RtfHtmlConverter::TrimFinalParagraph(std::move(rtf)), u"\\pard", true);
}

TEST(RtfHtmlConverter, Examples) {
    auto examples = ReadExamples(VELLUMA_SOURCE_DIR "/tests/portable/rtfhtml/examples.txt");
    ASSERT_GT(examples.size(), 20u);
    for (const auto& example : examples) {
        ASSERT_TRUE(example.call == "convert" || example.call == "post") << example.title;
        String html = example.call == "post" ? ConvertAsPost(example.rtf)
                                             : RtfHtmlConverter().Convert(example.rtf, u"\\pard", true);
        EXPECT_EQ(core::ToUtf8(html), core::ToUtf8(example.html)) << "## " << example.title;
    }
}

} // namespace

namespace {

std::vector<String> Stack(std::initializer_list<const char16_t*> names) {
    return std::vector<String>(names.begin(), names.end());
}

TEST(HtmlWriter, OperationsCloseAndReopenAroundTheirElement) {
    struct Case {
        const char* what;
        std::vector<String> before;
        const char16_t* alignment;
        const char16_t* fontSize;
        std::function<void(RtfHtmlConverter&, String&)> operation;  // appends to its second argument
        const char16_t* html;
        std::vector<String> after;
    };
    const Case cases[] = {
        {"new paragraph reopens inner elements", Stack({u"p", u"font", u"b"}), u"center", u"2",
         [](RtfHtmlConverter& w, String& out) { w.OpenParagraph(out); },
         u"</b></font></p><p align=\"center\"><font size=\"2\"><b>", Stack({u"p", u"font", u"b"})},
        {"first paragraph on an empty stack", Stack({}), u"left", u"",
         [](RtfHtmlConverter& w, String& out) { w.OpenElement(u"p", out); }, u"<p align=\"left\">", Stack({u"p"})},
        {"link goes directly inside the paragraph", Stack({u"p", u"font", u"b"}), u"left", u"2",
         [](RtfHtmlConverter& w, String& out) { w.OpenLink(u"A", out); },
         u"</b></font><a href=\"A\"><font size=\"2\"><b>", Stack({u"p", u"a", u"font", u"b"})},
        {"link address goes in unchanged", Stack({}), u"left", u"2",
         [](RtfHtmlConverter& w, String& out) { w.OpenLink(u"x\"<&>", out); }, u"<a href=\"x\"<&>\">", Stack({u"a"})},
        {"closing font reopens bold", Stack({u"p", u"font", u"b"}), u"left", u"2",
         [](RtfHtmlConverter& w, String& out) { w.CloseElement(u"font", out); }, u"</b></font><b>", Stack({u"p", u"b"})},
        {"closing what is not open writes nothing", Stack({u"p", u"font", u"b"}), u"left", u"2",
         [](RtfHtmlConverter& w, String& out) { w.CloseElement(u"u", out); }, u"", Stack({u"p", u"font", u"b"})},
        {"the innermost of two is closed", Stack({u"b", u"i", u"b", u"u"}), u"left", u"2",
         [](RtfHtmlConverter& w, String& out) { w.CloseElement(u"b", out); }, u"</u></b><u>", Stack({u"b", u"i", u"u"})},
        {"close all, innermost first", Stack({u"p", u"a", u"font", u"b", u"i"}), u"left", u"2",
         [](RtfHtmlConverter& w, String& out) { w.CloseAllElements(out); }, u"</i></b></font></a></p>", Stack({})},
        {"a reopened font takes the current size", Stack({u"p", u"font", u"b"}), u"left", u"2",
         [](RtfHtmlConverter& w, String& out) {
             w.fontSize = u"6";
             w.CloseElement(u"b", out);
         },
         u"</b>", Stack({u"p", u"font"})},
        {"reopened font after a size change", Stack({u"p", u"font", u"b", u"font"}), u"left", u"2",
         [](RtfHtmlConverter& w, String& out) {
             w.fontSize = u"6";
             w.CloseElement(u"b", out);
         },
         u"</font></b><font size=\"6\">", Stack({u"p", u"font", u"font"})},
    };
    for (const auto& c : cases) {
        RtfHtmlConverter writer;
        writer.openElements = c.before;
        writer.alignment = c.alignment;
        writer.fontSize = c.fontSize;
        String html = u"before";
        c.operation(writer, html);
        EXPECT_EQ(core::ToUtf8(html), "before" + core::ToUtf8(c.html)) << c.what;
        EXPECT_EQ(writer.openElements, c.after) << c.what;
    }
}

TEST(HtmlWriter, RepeatedFormattingStacksOnlyUpToTheLimit) {
    RtfHtmlConverter writer;
    String html;
    for (int k = 0; k < 1000; ++k) writer.OpenElement(u"b", html);
    EXPECT_EQ(writer.openElements.size(), size_t(RtfHtmlConverter::kMaxRepeatedFormatting));
    String expected;
    for (int k = 0; k < RtfHtmlConverter::kMaxRepeatedFormatting; ++k) expected += u"<b>";
    EXPECT_EQ(html, expected);
    // Fonts and paragraphs are never stacked twice by the reader; they are not limited.
    String italic;
    writer.OpenElement(u"i", italic);
    EXPECT_EQ(italic, u"<i>");
}

TEST(HtmlWriter, FontSizeReadsTheLastTwoCharacters) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"fs17", u"1"}, {u"fs20", u"2"}, {u"fs24", u"3"}, {u"fs28", u"4"}, {u"fs36", u"5"},
        {u"fs48", u"6"}, {u"fs72", u"7"}, {u"fs8", u"3"}, {u"fs16", u"3"}, {u"fs172", u"7"},
        {u"fs117", u"1"}, {u"fs", u"3"}, {u"fs2x", u"3"}, {u"fs1720", u"2"},
    };
    for (const auto& [word, size] : cases) {
        EXPECT_EQ(RtfHtmlConverter::HtmlFontSize(word), size) << core::ToUtf8(word);
    }
}

TEST(HtmlWriter, RemoveEmptyElements) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"<p align=\"left\"><font size=\"2\"></font></p>", u""},
        {u"<p align=\"left\"><font size=\"2\"><br /></font></p>", u"<p align=\"left\"><font size=\"2\"><br /></font></p>"},
        {u"<p align=\"left\"> </p><b></b>x<i><u></u></i>", u"<p align=\"left\"> </p>x"},
        {u"", u""},
        // Same name nested: content ends at the first closing tag; the rest is copied.
        {u"<b>x<b>y</b>z</b>", u"<b>x<b>y</b>z</b>"},
        {u"<b><b></b></b>", u"<b><b></b></b>"},
        // Tags without partner, stray closing tags, foreign and broken tags are text.
        {u"<b>open<i>", u"<b>open<i>"},
        {u"a</b>b<p>", u"a</b>b<p>"},
        {u"<q></q><a href=\"x>y\"></a>", u"<q></q><a href=\"x>y\"></a>"},  // content "y\">"
        {u"x<b", u"x<b"},
        {u"<a href=\"</a>\">t</a>", u"<a href=\"</a>\">t</a>"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(core::ToUtf8(RtfHtmlConverter::RemoveEmptyElements(in)), core::ToUtf8(out)) << core::ToUtf8(in);
    }
}

TEST(RtfReader, TrimFinalParagraph) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"{\\rtf1 a\\par b\\par\r\n}", u"{\\rtf1 a\\par b\n}"},
        {u"{\\rtf1 a\\par b\\pard c}", u"{\\rtf1 a\\par b\n}"},  // the start of "\pard" counts
        {u"\\par only at the start", u"\n}"},
        {u"no paragraph mark", u"\n}"},
        {u"", u"\n}"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(RtfHtmlConverter::TrimFinalParagraph(in), out);
}

TEST(RtfReader, StripGroupsKeepsTextBeforeStart) {
    EXPECT_EQ(RtfHtmlConverter::StripGroups(u"{a}{b}c{d}", 3), u"{a}c");
    EXPECT_EQ(RtfHtmlConverter::StripGroups(u"x\\{y\\}{z}", 0), u"x\\{y\\}");
    EXPECT_EQ(RtfHtmlConverter::StripGroups(u"{{{a}b", 0), u"b");  // two unclosed braces go alone, "{a}" whole
    EXPECT_EQ(RtfHtmlConverter::StripGroups(u"ab", 7), u"ab");
}

TEST(RtfReader, CodePageDecidesByteEscapes) {
    const auto* cyrillic = core::SingleByteCodePage::Find(1251);
    ASSERT_NE(cyrillic, nullptr);
    EXPECT_EQ(RtfHtmlConverter(*cyrillic).Convert(u"\\pard \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2}", u"\\pard", true),
              u"<p align=\"left\">\u041F\u0440\u0438\u0432\u0435\u0442</p>");
    EXPECT_EQ(RtfHtmlConverter().Convert(u"\\pard \\'cf}", u"\\pard", true), u"<p align=\"left\">\u00CF</p>");
    EXPECT_EQ(core::SingleByteCodePage::Find(65001), nullptr);
    EXPECT_EQ(core::SingleByteCodePage::Windows1252().Decode("\x80\x81\xFF"), u"\u20AC\u0081\u00FF");
}

// Inputs built to defeat a recursive or quadratic converter: each must finish
// (the ctest timeout catches a hang) and give the stated result.
TEST(RtfReader, PathologicalInputsFinish) {
    const size_t n = 50000;
    auto repeat = [](core::StringView piece, size_t count) {
        String out;
        for (size_t k = 0; k < count; ++k) out += piece;
        return out;
    };
    // Nested groups, closed and unclosed.
    EXPECT_EQ(RtfHtmlConverter().Convert(repeat(u"{", n) + u"\\pard x" + repeat(u"}", n), u"\\pard", true),
              u"<p align=\"left\">x</p>");
    EXPECT_EQ(RtfHtmlConverter().Convert(u"\\pard x" + repeat(u"{", n) + u"y", u"\\pard", true),
              u"<p align=\"left\">xy</p>");
    // Tens of thousands of nested elements in the empty-element pass.
    // Same-name nesting: each content ends at the first closing tag of its
    // name, so the inner tags lack partners and the text stays as it is.
    String nested = repeat(u"<b><i>", n) + repeat(u"</i></b>", n);
    EXPECT_TRUE(RtfHtmlConverter::RemoveEmptyElements(nested) == nested);
    String alternating = repeat(u"<p align=\"left\"><font size=\"2\"><b>", n) + repeat(u"</b></font></p>", n);
    EXPECT_TRUE(RtfHtmlConverter::RemoveEmptyElements(alternating) == alternating);
    EXPECT_EQ(RtfHtmlConverter::RemoveEmptyElements(repeat(u"<p align=\"left\"><font size=\"2\"><b></b></font></p>", n)), u"");
    // Bold switched on again and again, then sizes changed again and again.
    String html = RtfHtmlConverter().Convert(u"\\pard" + repeat(u"\\b", n) + u" x" + repeat(u"\\fs20 y", n) + u"}",
                                             u"\\pard", true);
    EXPECT_LT(html.size(), 200 * n);
    EXPECT_TRUE(html.ends_with(u"<font size=\"2\">y</font>" + repeat(u"</b>", RtfHtmlConverter::kMaxRepeatedFormatting) +
                               u"</p>"))
        << core::ToUtf8(html.substr(html.size() - 100));
    // Many links without addresses, runs without delimiters, and escapes.
    html = RtfHtmlConverter().Convert(u"\\pard" + repeat(u"\\shad a\\v b\\v0 ", n) + u"}", u"\\pard", true);
    EXPECT_NE(html.find(u"<a href=\"\"> a</a>b"), String::npos);
    html = RtfHtmlConverter().Convert(u"\\pard" + repeat(u"\\x", n) + repeat(u"\\u65", n), u"\\pard", true);
    EXPECT_TRUE(html == u"<p align=\"left\">" + repeat(u"A", n) + u"</p>") << html.size();
}

} // namespace

namespace {

// Real output of Wine's RichEdit control, converted as the Post command does.
TEST(RtfReader, RichEditStreamsConvertAsExpected) {
    const std::string dir = VELLUMA_SOURCE_DIR "/tests/portable/rtfhtml/richedit/";
    for (const char* name : {"styles", "sizes_align", "link", "blog_body", "shadow_colour"}) {
        std::string rtfBytes = ReadFileBytes(dir + name + ".rtf");
        std::string expected = ReadFileBytes(dir + name + ".html");
        ASSERT_FALSE(rtfBytes.empty()) << name;
        ASSERT_FALSE(expected.empty()) << name;
        String rtf = core::SingleByteCodePage::Windows1252().Decode(rtfBytes);
        EXPECT_EQ(core::ToUtf8(ConvertAsPost(rtf)), expected) << name;
    }
}

} // namespace
