// Writing side of the converter: the only code that decides which HTML
// tags come out. Element names are lower case, attribute values sit in double
// quotes, and nothing inserted into a tag is escaped.

#include "rtfhtml/rtf_html_converter.h"

#include <algorithm>
#include <array>

namespace rtfhtml {

namespace {

using core::String;
using core::StringView;

constexpr size_t npos = StringView::npos;

// "<name attribute="value">"
void AppendTag(String& out, StringView name, StringView attribute, StringView value) {
    out += u'<';
    out += name;
    out += u' ';
    out += attribute;
    out += u"=\"";
    out += value;
    out += u"\">";
}

void AppendClosingTag(String& out, StringView name) {
    out += u"</";
    out += name;
    out += u'>';
}

String ClosingTag(StringView name) {
    String tag;
    AppendClosingTag(tag, name);
    return tag;
}

} // namespace

// The tag of a non-paragraph element as it is opened now: a font element
// takes the size that is current at this moment.
void RtfHtmlConverter::AppendOpeningTag(StringView name, String& out) const {
    if (name == kFont) {
        AppendTag(out, kFont, u"size", fontSize);
    } else {
        out += u'<';
        out += name;
        out += u'>';
    }
}

// The reader opens bold, italic or underline for every switch it meets,
// even when that formatting is already open; past a few repeats another
// one changes nothing on screen, so we stop stacking them. `below` is how
// much of the stack counts.
bool RtfHtmlConverter::FormattingFull(StringView name, size_t below) const {
    if (name != kBold && name != kItalic && name != kUnderline) return false;
    auto end = openElements.begin() + static_cast<std::ptrdiff_t>(below);
    return std::count(openElements.begin(), end, name) >= kMaxRepeatedFormatting;
}

void RtfHtmlConverter::OpenElement(StringView name, String& out) {
    if (name == kParagraph) return OpenParagraph(out);
    if (FormattingFull(name, openElements.size())) return;
    AppendOpeningTag(name, out);
    openElements.emplace_back(name);
}

// Elements closed to make room are reopened in the order they were opened,
// so the nesting from before is restored. They never leave the stack: the
// elements from `first` on are written again where they stand, as opening
// each anew would (a repeat of formatting past the limit is dropped). None
// of them is "p".
void RtfHtmlConverter::ReopenFrom(size_t first, String& out) {
    size_t kept = first;
    for (size_t k = first; k < openElements.size(); ++k) {
        if (FormattingFull(openElements[k], kept)) continue;
        AppendOpeningTag(openElements[k], out);
        if (kept != k) openElements[kept] = std::move(openElements[k]);
        ++kept;
    }
    openElements.resize(kept);
}

void RtfHtmlConverter::OpenParagraph(String& out) {
    for (auto it = openElements.rbegin(); it != openElements.rend(); ++it) AppendClosingTag(out, *it);
    std::erase(openElements, kParagraph);
    AppendTag(out, kParagraph, u"align", alignment);
    openElements.emplace(openElements.begin(), kParagraph);
    ReopenFrom(1, out);
}

// The address goes in verbatim: the editor's link dialog wrote it, and no
// other code writes an href.
void RtfHtmlConverter::OpenLink(StringView address, String& out) {
    size_t inner = openElements.size();
    while (inner > 0 && openElements[inner - 1] != kParagraph) AppendClosingTag(out, openElements[--inner]);
    AppendTag(out, kLink, u"href", address);
    openElements.emplace(openElements.begin() + static_cast<std::ptrdiff_t>(inner), kLink);
    ReopenFrom(inner + 1, out);
}

// Closes the innermost element of that name with everything inside it, then
// reopens what was inside. Nothing happens when none is open.
void RtfHtmlConverter::CloseElement(StringView name, String& out) {
    auto found = std::find(openElements.rbegin(), openElements.rend(), name);
    if (found == openElements.rend()) return;
    const auto index = static_cast<size_t>(openElements.rend() - found) - 1;
    if (std::find(openElements.begin() + static_cast<std::ptrdiff_t>(index) + 1, openElements.end(), kParagraph) !=
        openElements.end()) {
        // A paragraph inside another element (only a caller that set the
        // stack by hand gets here): reopening it starts a new paragraph
        // and closes everything, so go element by element.
        std::vector<String> closed(openElements.begin() + static_cast<std::ptrdiff_t>(index) + 1, openElements.end());
        for (size_t k = openElements.size(); k-- > index;) AppendClosingTag(out, openElements[k]);
        openElements.resize(index);
        for (const String& element : closed) OpenElement(element, out);
        return;
    }
    for (size_t k = openElements.size(); k-- > index;) AppendClosingTag(out, openElements[k]);
    openElements.erase(openElements.begin() + static_cast<std::ptrdiff_t>(index));
    ReopenFrom(index, out);
}

void RtfHtmlConverter::CloseAllElements(String& out) {
    for (auto it = openElements.rbegin(); it != openElements.rend(); ++it) AppendClosingTag(out, *it);
    openElements.clear();
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

// Drops every element whose content is empty once the same pass has run over
// it. An element's content ends at the first closing tag of its name inside
// the enclosing content. Only the converter's own elements are recognised;
// a tag of any other name, a tag whose closing tag is missing and a stray
// closing tag are copied as text. Runs with an explicit stack of the
// elements being read, in one forward pass: tens of thousands of nested
// elements cost no recursion.
String RtfHtmlConverter::RemoveEmptyElements(StringView html) {
    return RemoveEmptyElements(html, false);
}

String RtfHtmlConverter::RemoveEmptyElements(StringView html, bool escapePercent) {
    static constexpr std::array<StringView, 6> kNames = {kParagraph, kLink, kFont, kBold, kItalic, kUnderline};
    static const std::array<String, 6> kClosing = {ClosingTag(kParagraph), ClosingTag(kLink), ClosingTag(kFont),
                                                   ClosingTag(kBold),      ClosingTag(kItalic), ClosingTag(kUnderline)};

    // Where the closing tags of each name start, ascending; the pass only
    // moves forward, so each list is walked once.
    std::array<std::vector<size_t>, kNames.size()> closings;
    for (size_t k = html.find(u"</"); k != npos; k = html.find(u"</", k + 2)) {
        for (size_t n = 0; n < kNames.size(); ++n) {
            if (html.substr(k).starts_with(kClosing[n])) closings[n].push_back(k);
        }
    }
    std::array<size_t, kNames.size()> nextClosing{};

    // An element being read: its content runs up to its closing tag.
    struct Frame {
        size_t contentEnd;  // where the closing tag starts
        size_t name;        // index into kNames
        size_t outMark;     // size of the output before the opening tag
        size_t tagEnd;      // and after it
    };
    std::vector<Frame> frames;
    String out;
    out.reserve(html.size());
    // Everything the pass keeps goes out through here; the closing tags
    // hold no "%".
    auto keep = [&](StringView kept) {
        if (!escapePercent) {
            out += kept;
            return;
        }
        for (size_t from = 0;;) {
            size_t percent = kept.find(u'%', from);
            out += kept.substr(from, percent - from);
            if (percent == npos) return;
            out += u"&#37;";
            from = percent + 1;
        }
    };
    size_t gt = 0;  // the first ">" after the last tag start looked at
    size_t pos = 0;
    for (;;) {
        const size_t limit = frames.empty() ? html.size() : frames.back().contentEnd;
        if (pos >= limit) {
            if (frames.empty()) break;
            // The element ends: when nothing inside it was kept, its opening
            // tag goes too, else its closing tag is kept.
            const Frame frame = frames.back();
            frames.pop_back();
            if (out.size() == frame.tagEnd) {
                out.resize(frame.outMark);
            } else {
                out += kClosing[frame.name];
            }
            pos = frame.contentEnd + kClosing[frame.name].size();
            continue;
        }
        if (html[pos] != u'<') {
            const size_t next = std::min(html.find(u'<', pos), limit);
            keep(html.substr(pos, next - pos));
            pos = next;
            continue;
        }
        if (gt != npos && gt <= pos) gt = html.find(u'>', pos + 1);
        if (gt == npos || gt >= limit) {
            // No tag can end inside this content: the rest of it is text.
            keep(html.substr(pos, limit - pos));
            pos = limit;
            continue;
        }
        const StringView tag = html.substr(pos, gt + 1 - pos);
        // The name runs from the "<" to the first space or the ">".
        const StringView name = tag.substr(1, std::min(tag.find(u' '), tag.size() - 1) - 1);
        const size_t outMark = out.size();
        keep(tag);  // "<br />", foreign tags and unmatched ones stay as text
        const auto known = std::find(kNames.begin(), kNames.end(), name);
        if (known != kNames.end()) {
            const auto n = static_cast<size_t>(known - kNames.begin());
            const std::vector<size_t>& list = closings[n];
            size_t& next = nextClosing[n];
            while (next < list.size() && list[next] < pos) ++next;
            if (next < list.size() && list[next] > gt && list[next] + kClosing[n].size() <= limit) {
                frames.push_back({list[next], n, outMark, out.size()});
            }
        }
        pos = gt + 1;
    }
    return out;
}

} // namespace rtfhtml
