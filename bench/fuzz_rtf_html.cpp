// libFuzzer target: any bytes through the Post command's conversion, plus
// the other entry points that take text straight from the input.

#include "core/codepage.h"
#include "rtfhtml/rtf_html_converter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace {

// Whether the tags of `html` nest: every closing tag closes the innermost
// open element, and none is left open. Line breaks are no elements.
bool TagsNest(core::StringView html) {
    std::vector<core::StringView> open;
    for (size_t lt = html.find(u'<'); lt != core::StringView::npos; lt = html.find(u'<', lt + 1)) {
        size_t gt = html.find(u'>', lt);
        if (gt == core::StringView::npos) return false;
        core::StringView tag = html.substr(lt + 1, gt - lt - 1);
        if (tag == u"br /") continue;
        if (tag.starts_with(u'/')) {
            if (open.empty() || open.back() != tag.substr(1)) return false;
            open.pop_back();
        } else {
            open.push_back(tag.substr(0, tag.find(u' ')));
        }
    }
    return open.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto& codePage = size > 0 && (data[0] & 1) ? *core::SingleByteCodePage::Find(1251)
                                                     : core::SingleByteCodePage::Windows1252();
    core::String rtf = codePage.Decode(bytes);

    core::String html = RtfHtmlConverter(codePage).Convert(RtfHtmlConverter::TrimFinalParagraph(rtf), u"\\pard", true);
    // With the close flag set, everything the converter opened is closed again.
    if (html.find(u"<p align") != core::String::npos && html.find(u"</p>") == core::String::npos) __builtin_trap();
    // The publishing library reads the body as a format string: no "%" may
    // be left as it is.
    if (html.find(u'%') != core::String::npos) __builtin_trap();
    // Text is escaped, so every "<" of the HTML starts a tag the writer wrote,
    // and dropping empty elements keeps them nested. Only a link address goes
    // into its tag unescaped: inputs that could spell a "<" or ">" into one
    // (as such, or as an escape) are left out.
    bool angleInAddress = rtf.find_first_of(u"<>") != core::String::npos || rtf.find(u"\\'3") != core::String::npos;
    for (size_t k = rtf.find(u"\\u"); !angleInAddress && k != core::String::npos; k = rtf.find(u"\\u", k + 1)) {
        angleInAddress = k + 2 < rtf.size() && (rtf[k + 2] == u'-' || (rtf[k + 2] >= u'0' && rtf[k + 2] <= u'9'));
    }
    if (!angleInAddress && !TagsNest(html)) __builtin_trap();

    RtfHtmlConverter().Convert(rtf, u"\\pard", false);
    RtfHtmlConverter().Convert(rtf, u"", true);
    RtfHtmlConverter::RemoveEmptyElements(rtf);
    return 0;
}
