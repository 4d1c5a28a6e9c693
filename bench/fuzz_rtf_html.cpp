// libFuzzer target: any bytes through the Post command's conversion, plus
// the other entry points that take text straight from the input.

#include "core/codepage.h"
#include "rtfhtml/byte_body.h"
#include "rtfhtml/rtf_html_converter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto& codePage = size > 0 && (data[0] & 1) ? *core::SingleByteCodePage::Find(1251)
                                                     : core::SingleByteCodePage::Windows1252();
    core::String rtf = codePage.Decode(bytes);

    core::String html = RtfHtmlConverter(codePage).Convert(RtfHtmlConverter::TrimFinalParagraph(rtf), u"\\pard", true);
    // With the close flag set, everything the converter opened is closed again.
    if (html.find(u"<p align") != core::String::npos && html.find(u"</p>") == core::String::npos) __builtin_trap();
    // Dropping empty elements by the tags noted while writing gives what
    // searching the HTML for them gives.
    struct SearchingConverter : RtfHtmlConverter {
        explicit SearchingConverter(const core::SingleByteCodePage& page) : RtfHtmlConverter(page) {
            useTagMarks_ = false;
        }
    };
    if (SearchingConverter(codePage).Convert(RtfHtmlConverter::TrimFinalParagraph(rtf), u"\\pard", true) != html) {
        __builtin_trap();
    }
    // rtf2html's way (cut, marker and groups on the bytes, the conversion on
    // UTF-8 text, percent signs and surrogate pairs as the HTML is written)
    // gives the same HTML.
    std::string copy(bytes);
    std::string body = rtfhtml::DecodeTrimmedBody(copy, codePage);
    std::string byteHtml =
        rtfhtml::ByteRtfHtmlConverter(codePage).ConvertTaking(std::move(body), "\\pard", true, true, false);
    std::string written;
    rtfhtml::FinishHtml(byteHtml, true, [&](std::string_view piece) { written += piece; });
    if (written != core::ToUtf8(html)) __builtin_trap();

    RtfHtmlConverter().Convert(rtf, u"\\pard", false);
    RtfHtmlConverter().Convert(rtf, u"", true);
    RtfHtmlConverter::RemoveEmptyElements(rtf);
    return 0;
}
