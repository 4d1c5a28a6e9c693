#include "rtfhtml/rtf_html_converter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
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

String ConvertAsPost(core::StringView rtf) {
    return RtfHtmlConverter().Convert(RtfHtmlConverter::TrimFinalParagraph(rtf), u"\\pard", true);
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
