// Writing side of RtfHtmlConverter: the only code that decides which HTML
// tags come out. Element names are lower case, attribute values sit in double
// quotes, and nothing inserted into a tag is escaped.

#include "rtfhtml/rtf_html_converter.h"

#include "rtfhtml/forward_search.h"

#include <algorithm>
#include <array>

using core::String;
using core::StringView;

namespace {

String ClosingTag(StringView name) {
    String tag = u"</";
    tag += name;
    tag += u'>';
    return tag;
}

bool IsFormatting(StringView name) {
    return name == u"b" || name == u"i" || name == u"u";
}

} // namespace

// Elements closed to make room are collected innermost first and reopened in
// the opposite order, so the nesting from before is restored; a reopened font
// element takes the size that is current now.
static void Reopen(RtfHtmlConverter& writer, const std::vector<String>& closed, String& out) {
    for (auto it = closed.rbegin(); it != closed.rend(); ++it) out += writer.OpenElement(*it);
}

String RtfHtmlConverter::OpenElement(StringView name) {
    if (name == u"p") return OpenParagraph();
    if (name == u"font") {
        openElements.emplace_back(u"font");
        return u"<font size=\"" + fontSize + u"\">";
    }
    // The reader opens bold, italic or underline for every switch it meets,
    // even when that formatting is already open; past a few repeats another
    // one changes nothing on screen, so we stop stacking them.
    if (IsFormatting(name) &&
        std::count(openElements.begin(), openElements.end(), name) >= kMaxRepeatedFormatting) {
        return {};
    }
    openElements.emplace_back(name);
    String tag = u"<";
    tag += name;
    tag += u'>';
    return tag;
}

String RtfHtmlConverter::OpenParagraph() {
    String out;
    std::vector<String> closed;
    while (!openElements.empty()) {
        String innermost = openElements.back();
        if (innermost != u"p") closed.push_back(innermost);
        out += CloseElement(innermost);
    }
    out += u"<p align=\"" + alignment + u"\">";
    openElements.emplace_back(u"p");
    Reopen(*this, closed, out);
    return out;
}

// The address goes in verbatim: the editor's link dialog wrote it, and no
// other code writes an href.
String RtfHtmlConverter::OpenLink(StringView address) {
    String out;
    std::vector<String> closed;
    while (!openElements.empty() && openElements.back() != u"p") {
        String innermost = openElements.back();
        closed.push_back(innermost);
        out += CloseElement(innermost);
    }
    openElements.emplace_back(u"a");
    out += u"<a href=\"";
    out += address;
    out += u"\">";
    Reopen(*this, closed, out);
    return out;
}

String RtfHtmlConverter::CloseElement(StringView name) {
    if (std::find(openElements.begin(), openElements.end(), name) == openElements.end()) return {};
    String out;
    std::vector<String> closed;
    while (openElements.back() != name) {
        closed.push_back(openElements.back());
        out += ClosingTag(openElements.back());
        openElements.pop_back();
    }
    out += ClosingTag(name);
    openElements.pop_back();
    Reopen(*this, closed, out);
    return out;
}

String RtfHtmlConverter::CloseAllElements() {
    String out;
    while (!openElements.empty()) out += CloseElement(String(openElements.back()));
    return out;
}

// RTF sizes are half points; the seven values are the heights the editor's
// text size box offers. Only the last two characters count, so "fs172"
// reads as 72.
String RtfHtmlConverter::HtmlFontSize(StringView word) {
    StringView tail = word.size() > 2 ? word.substr(word.size() - 2) : word;
    int value = 0;
    for (char16_t c : tail) {
        if (c < u'0' || c > u'9') break;
        value = value * 10 + (c - u'0');
    }
    switch (value) {
    case 17: return u"1";
    case 20: return u"2";
    case 28: return u"4";
    case 36: return u"5";
    case 48: return u"6";
    case 72: return u"7";
    default: return u"3";
    }
}

String RtfHtmlConverter::RemoveEmptyElements(StringView html) {
    String out(html);
    RemoveEmptyElementsInPlace(out, false);
    return out;
}

// Drops every element whose content is empty once the same pass has run over
// it. An element's content ends at the first closing tag of its name inside
// the enclosing content. Only the converter's own elements are recognised;
// a tag of any other name, a tag whose closing tag is missing and a stray
// closing tag are copied as text. Runs with an explicit stack, in one forward
// pass: tens of thousands of nested elements cost no recursion.
//
// The pass only ever drops characters, so it writes into the text it reads,
// behind the reading position (`write` <= `pos`); everything it still has to
// look at lies at or after `pos` and is untouched.
void RtfHtmlConverter::RemoveEmptyElementsInPlace(String& html, bool escapePercent) {
    static constexpr std::array<StringView, 6> kNames = {u"p", u"a", u"font", u"b", u"i", u"u"};
    static constexpr std::array<StringView, 6> kClosing = {u"</p>", u"</a>", u"</font>", u"</b>", u"</i>", u"</u>"};
    constexpr size_t npos = StringView::npos;

    const StringView text(html);
    std::vector<rtfhtml::ForwardSearch> closeSearch(kClosing.begin(), kClosing.end());
    rtfhtml::ForwardSearch gtSearch(u">");

    struct Frame {
        size_t contentEnd;  // where the closing tag starts
        size_t closeLength;
        size_t writeMark;   // write position before the opening tag
        size_t tagLength;
    };
    std::vector<Frame> frames;

    size_t write = 0;
    auto keep = [&](size_t from, size_t length) {
        if (from != write) std::char_traits<char16_t>::move(html.data() + write, html.data() + from, length);
        write += length;
    };
    size_t pos = 0;
    for (;;) {
        size_t limit = frames.empty() ? text.size() : frames.back().contentEnd;
        if (pos >= limit) {
            if (frames.empty()) break;
            Frame frame = frames.back();
            frames.pop_back();
            if (write == frame.writeMark + frame.tagLength) {
                write = frame.writeMark;  // nothing inside: the opening tag goes too
            } else {
                keep(frame.contentEnd, frame.closeLength);
            }
            pos = frame.contentEnd + frame.closeLength;
            continue;
        }
        if (text[pos] != u'<') {
            size_t next = std::min(text.find(u'<', pos), limit);
            keep(pos, next - pos);
            pos = next;
            continue;
        }
        size_t gt = gtSearch.Find(text, pos + 1);
        if (gt == npos || gt >= limit) {
            // No tag can end inside this content: the rest of it is text.
            keep(pos, limit - pos);
            pos = limit;
            continue;
        }
        StringView tag = text.substr(pos, gt + 1 - pos);
        StringView inner = tag.substr(1, tag.size() - 2);
        StringView name = inner.substr(0, inner.find(u' '));
        auto known = std::find(kNames.begin(), kNames.end(), name);
        if (known != kNames.end()) {
            size_t k = static_cast<size_t>(known - kNames.begin());
            size_t close = closeSearch[k].Find(text, pos);
            if (close != npos && close > gt && close + kClosing[k].size() <= limit) {
                frames.push_back({close, kClosing[k].size(), write, tag.size()});
                keep(pos, tag.size());
                pos = gt + 1;
                continue;
            }
        }
        keep(pos, tag.size());  // "<br />", foreign tags and unmatched ones
        pos = gt + 1;
    }
    html.resize(write);

    if (!escapePercent) return;
    size_t percents = static_cast<size_t>(std::count(html.begin(), html.end(), u'%'));
    if (percents == 0) return;
    // Widen in place, filling from the back.
    static constexpr StringView kEscaped = u"&#37;";
    size_t from = html.size();
    html.resize(html.size() + percents * (kEscaped.size() - 1));
    size_t to = html.size();
    while (from > 0) {
        char16_t c = html[--from];
        if (c == u'%') {
            to -= kEscaped.size();
            std::char_traits<char16_t>::copy(html.data() + to, kEscaped.data(), kEscaped.size());
        } else {
            html[--to] = c;
        }
    }
}
