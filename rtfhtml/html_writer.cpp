// Writing side of RtfHtmlConverter: the only code that decides which HTML
// tags come out. Element names are lower case, attribute values sit in double
// quotes, and nothing inserted into a tag is escaped.
//
// Every operation appends to the caller's output: the reader calls them once
// per control word, and a string per tag was most of its time.

#include "rtfhtml/rtf_html_converter.h"

#include "rtfhtml/forward_search.h"
#include "rtfhtml/scan.h"

#include <algorithm>
#include <array>

using core::String;
using core::StringView;
using namespace std::string_view_literals;

namespace {

void AppendClosingTag(String& out, StringView name) {
    out += u"</"sv;
    out += name;
    out += u'>';
}

bool IsFormatting(StringView name) {
    return name == u"b"sv || name == u"i"sv || name == u"u"sv;
}

// The next closing tag of each of a few names, for a pass whose position
// only moves forward. One scan over the text finds every closing tag (a "/"
// right after a "<") and files it under its name, so the text is read once
// however many names are looked for; a search per name read it once per
// name, stopping at every closing tag of the others.
template <size_t Names>
class ClosingTags {
public:
    ClosingTags(StringView text, const std::array<StringView, Names>& tags) : text_(text), tags_(tags) {}

    // The first closing tag `kind` starting at or after `from`, npos when
    // there is none. `from` never decreases from one call to the next.
    size_t Next(size_t kind, size_t from) {
        auto& queue = found_[kind];
        size_t& head = heads_[kind];
        while (head < queue.size() && queue[head] < from) ++head;
        if (head > 0 && head * 2 >= queue.size()) {  // keeps the used-up part from piling up
            queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(head));
            head = 0;
        }
        if (head < queue.size()) return queue[head];
        // Tags before `from` are of no use to any later call.
        if (slash_ < from + 1) slash_ = from + 1;
        while (slash_ < text_.size()) {
            size_t slash = rtfhtml::FindAnyOf(text_, slash_, u'/');
            slash_ = slash + 1;
            if (slash >= text_.size()) break;
            if (text_[slash - 1] != u'<' || slash + 1 >= text_.size()) continue;
            // The names differ in their first letter.
            for (size_t k = 0; k < Names; ++k) {
                if (tags_[k][2] != text_[slash + 1]) continue;
                if (text_.substr(slash - 1, tags_[k].size()) == tags_[k]) {
                    found_[k].push_back(slash - 1);
                    if (k == kind) return slash - 1;
                }
                break;
            }
        }
        slash_ = text_.size();
        return StringView::npos;
    }

private:
    StringView text_;
    const std::array<StringView, Names>& tags_;
    size_t slash_ = 1;  // where the scan for the next "/" goes on
    std::array<std::vector<size_t>, Names> found_;  // per name, ascending; those before heads_ are used up
    std::array<size_t, Names> heads_{};
};

} // namespace

String RtfHtmlConverter::OpenElement(StringView name) {
    String out;
    AppendOpenElement(name, out);
    return out;
}

String RtfHtmlConverter::OpenParagraph() {
    String out;
    AppendOpenParagraph(out);
    return out;
}

String RtfHtmlConverter::OpenLink(StringView address) {
    String out;
    AppendOpenLink(address, out);
    return out;
}

String RtfHtmlConverter::CloseElement(StringView name) {
    String out;
    AppendCloseElement(name, out);
    return out;
}

String RtfHtmlConverter::CloseAllElements() {
    String out;
    AppendCloseAllElements(out);
    return out;
}

// The tag of a non-paragraph element as it is opened now: a font element
// takes the size that is current at this moment.
void RtfHtmlConverter::AppendOpeningTag(StringView name, String& out) const {
    if (name == u"font"sv) {
        out += u"<font size=\""sv;
        out += fontSize;
        out += u"\">"sv;
        return;
    }
    out += u'<';
    out += name;
    out += u'>';
}

// The reader opens bold, italic or underline for every switch it meets,
// even when that formatting is already open; past a few repeats another
// one changes nothing on screen, so we stop stacking them. `below` is how
// much of the stack counts.
bool RtfHtmlConverter::FormattingFull(StringView name, size_t below) const {
    return IsFormatting(name) &&
           std::count(openElements.begin(), openElements.begin() + static_cast<std::ptrdiff_t>(below), name) >=
               kMaxRepeatedFormatting;
}

void RtfHtmlConverter::AppendOpenElement(StringView name, String& out) {
    if (name == u"p"sv) {
        AppendOpenParagraph(out);
        return;
    }
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

void RtfHtmlConverter::AppendOpenParagraph(String& out) {
    for (size_t k = openElements.size(); k-- > 0;) AppendClosingTag(out, openElements[k]);
    std::erase(openElements, u"p"sv);
    out += u"<p align=\""sv;
    out += alignment;
    out += u"\">"sv;
    openElements.emplace(openElements.begin(), u"p"sv);
    ReopenFrom(1, out);
}

// The address goes in verbatim: the editor's link dialog wrote it, and no
// other code writes an href.
void RtfHtmlConverter::AppendOpenLink(StringView address, String& out) {
    size_t inner = openElements.size();
    while (inner > 0 && openElements[inner - 1] != u"p"sv) AppendClosingTag(out, openElements[--inner]);
    out += u"<a href=\""sv;
    out += address;
    out += u"\">"sv;
    openElements.emplace(openElements.begin() + static_cast<std::ptrdiff_t>(inner), u"a"sv);
    ReopenFrom(inner + 1, out);
}

// Closes the innermost `name` with everything inside it, then reopens what
// was inside. Nothing happens when `name` is not open.
void RtfHtmlConverter::AppendCloseElement(StringView name, String& out) {
    auto found = std::find(openElements.rbegin(), openElements.rend(), name);
    if (found == openElements.rend()) return;
    const size_t index = static_cast<size_t>(openElements.rend() - found) - 1;
    if (std::find(openElements.begin() + static_cast<std::ptrdiff_t>(index) + 1, openElements.end(), u"p"sv) !=
        openElements.end()) {
        // A paragraph inside another element (only a caller that set the
        // stack by hand gets here): reopening it starts a new paragraph
        // and closes everything, so go element by element.
        std::vector<String> closed;
        while (openElements.back() != name) {
            closed.push_back(openElements.back());
            AppendClosingTag(out, openElements.back());
            openElements.pop_back();
        }
        AppendClosingTag(out, name);
        openElements.pop_back();
        for (auto it = closed.rbegin(); it != closed.rend(); ++it) AppendOpenElement(*it, out);
        return;
    }
    for (size_t k = openElements.size(); k-- > index;) AppendClosingTag(out, openElements[k]);
    openElements.erase(openElements.begin() + static_cast<std::ptrdiff_t>(index));
    ReopenFrom(index, out);
}

void RtfHtmlConverter::AppendCloseAllElements(String& out) {
    for (size_t k = openElements.size(); k-- > 0;) AppendClosingTag(out, openElements[k]);
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
    ClosingTags<kClosing.size()> closeSearch(text, kClosing);
    rtfhtml::ForwardSearch gtSearch(u">");

    struct Frame {
        size_t contentEnd;  // where the closing tag starts
        size_t closeLength;
        size_t writeMark;   // write position before the opening tag
        size_t tagLength;
    };
    std::vector<Frame> frames;

    // What is kept is mostly long stretches of adjoining pieces (tags and
    // the text between them): they are moved as one stretch, when the next
    // piece does not adjoin, rather than one call per piece. The pending
    // stretch [pendingFrom, +pendingLength) belongs at [write - pendingLength,
    // write); nothing writes over it before then, since every move goes to a
    // place at or before its source.
    size_t write = 0;
    size_t pendingFrom = 0;
    size_t pendingLength = 0;
    auto flush = [&] {
        const size_t to = write - pendingLength;
        if (pendingLength > 0 && pendingFrom != to) {
            std::char_traits<char16_t>::move(html.data() + to, html.data() + pendingFrom, pendingLength);
        }
        pendingLength = 0;
    };
    auto keep = [&](size_t from, size_t length) {
        if (pendingLength == 0 || pendingFrom + pendingLength != from) {
            flush();
            pendingFrom = from;
        }
        pendingLength += length;
        write += length;
    };
    // Drops what was kept from `mark` on.
    auto dropFrom = [&](size_t mark) {
        const size_t cut = write - mark;
        pendingLength = cut <= pendingLength ? pendingLength - cut : 0;
        write = mark;
    };
    size_t pos = 0;
    for (;;) {
        size_t limit = frames.empty() ? text.size() : frames.back().contentEnd;
        if (pos >= limit) {
            if (frames.empty()) break;
            Frame frame = frames.back();
            frames.pop_back();
            if (write == frame.writeMark + frame.tagLength) {
                dropFrom(frame.writeMark);  // nothing inside: the opening tag goes too
            } else {
                keep(frame.contentEnd, frame.closeLength);
            }
            pos = frame.contentEnd + frame.closeLength;
            continue;
        }
        if (text[pos] != u'<') {
            size_t next = std::min(rtfhtml::FindAnyOf(text, pos, u'<'), limit);
            keep(pos, next - pos);
            pos = next;
            continue;
        }
        // Tags are short: look a few characters ahead before the search
        // that keeps long runs without a ">" linear.
        size_t gt = pos + 1;
        const size_t near = std::min(text.size(), pos + 24);
        while (gt < near && text[gt] != u'>') ++gt;
        if (gt == near) gt = gtSearch.Find(text, pos + 1);
        if (gt == npos || gt >= limit) {
            // No tag can end inside this content: the rest of it is text.
            keep(pos, limit - pos);
            pos = limit;
            continue;
        }
        StringView tag = text.substr(pos, gt + 1 - pos);
        // The name runs from the "<" to the first space or the ">"; the six
        // names differ in their first letter.
        size_t k = kNames.size();
        switch (text[pos + 1]) {
        case u'p': k = 0; break;
        case u'a': k = 1; break;
        case u'f': k = 2; break;
        case u'b': k = 3; break;
        case u'i': k = 4; break;
        case u'u': k = 5; break;
        default: break;
        }
        if (k < kNames.size()) {
            const size_t nameEnd = pos + 1 + kNames[k].size();
            if (nameEnd > gt || (nameEnd < gt && text[nameEnd] != u' ') ||
                text.substr(pos + 1, kNames[k].size()) != kNames[k]) {
                k = kNames.size();
            }
        }
        if (k < kNames.size()) {
            size_t close = closeSearch.Next(k, pos);
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
    flush();
    html.resize(write);

    if (!escapePercent) return;
    std::vector<size_t> percents;
    for (size_t k = rtfhtml::FindAnyOf(html, 0, u'%'); k < html.size(); k = rtfhtml::FindAnyOf(html, k + 1, u'%')) {
        percents.push_back(k);
    }
    if (percents.empty()) return;
    // Widen in place, moving the text between percent signs from the back.
    static constexpr StringView kEscaped = u"&#37;";
    size_t from = html.size();
    html.resize(html.size() + percents.size() * (kEscaped.size() - 1));
    size_t to = html.size();
    for (auto it = percents.rbegin(); it != percents.rend(); ++it) {
        size_t tail = from - (*it + 1);
        to -= tail;
        std::char_traits<char16_t>::move(html.data() + to, html.data() + *it + 1, tail);
        to -= kEscaped.size();
        std::char_traits<char16_t>::copy(html.data() + to, kEscaped.data(), kEscaped.size());
        from = *it;
    }
}
