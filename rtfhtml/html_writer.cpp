// Writing side of the converter: the only code that decides which HTML
// tags come out. Element names are lower case, attribute values sit in double
// quotes, and nothing inserted into a tag is escaped.
//
// Every operation appends to the caller's output: the reader calls them once
// per control word, and a string per tag was most of its time.

#include "rtfhtml/rtf_html_converter.h"

#include "rtfhtml/forward_search.h"
#include "rtfhtml/scan.h"
#include "rtfhtml/unit_text.h"

#include <algorithm>
#include <array>
#include <type_traits>
#include <utility>

namespace rtfhtml {

namespace {

template <typename Char>
constexpr std::array<std::basic_string_view<Char>, 6> kClosingTags = {
    Lit<Char, "</p>">, Lit<Char, "</a>">, Lit<Char, "</font>">, Lit<Char, "</b>">, Lit<Char, "</i>">, Lit<Char, "</u>">};

// The next closing tag of each of a few names, for a pass whose position
// only moves forward. One scan over the text finds every closing tag (a "/"
// right after a "<") and files it under its name, so the text is read once
// however many names are looked for; a search per name read it once per
// name, stopping at every closing tag of the others.
template <typename Char, size_t Names>
class ClosingTags {
public:
    using StringView = std::basic_string_view<Char>;

    ClosingTags(StringView text, const std::array<StringView, Names>& tags) : text_(text), tags_(tags) {}

    // The first closing tag `kind` starting at or after `from`, npos when
    // there is none. `from` never decreases from one call to the next.
    size_t Next(size_t kind, size_t from) {
        auto& queue = found_[kind];
        size_t& head = heads_[kind];
        while (head < queue.size() && queue[head] < from) ++head;
        if (head >= 64 && head * 2 >= queue.size()) {  // keeps the used-up part from piling up
            queue.erase(queue.begin(), queue.begin() + static_cast<std::ptrdiff_t>(head));
            head = 0;
        }
        if (head < queue.size()) return queue[head];
        // Tags before `from` are of no use to any later call.
        if (slash_ < from + 1) slash_ = from + 1;
        while (slash_ < text_.size()) {
            size_t slash = FindAnyOf(text_, slash_, Char('/'));
            slash_ = slash + 1;
            if (slash >= text_.size()) break;
            if (text_[slash - 1] != Char('<') || slash + 1 >= text_.size()) continue;
            // The names differ in their first letter.
            for (size_t k = 0; k < Names; ++k) {
                if (tags_[k][2] != text_[slash + 1]) continue;
                if (Same(text_.substr(slash - 1, tags_[k].size()), tags_[k])) {
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

// The converter's own six elements have fixed kinds; any other name a
// caller hands the public operations gets the next free kind.
template <typename Char>
auto BasicRtfHtmlConverter<Char>::KindOf(StringView name) -> Kind {
    static constexpr StringView kNames[] = {Lit<Char, "p">, Lit<Char, "a">, Lit<Char, "font">,
                                            Lit<Char, "b">, Lit<Char, "i">, Lit<Char, "u">};
    for (Kind kind = 0; kind < kFirstOther; ++kind) {
        if (Same(name, kNames[kind])) return kind;
    }
    for (size_t k = 0; k < otherNames_.size(); ++k) {
        if (Same<Char>(otherNames_[k], name)) return kFirstOther + static_cast<Kind>(k);
    }
    otherNames_.emplace_back(name);
    return kFirstOther + static_cast<Kind>(otherNames_.size() - 1);
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::NameOf(Kind kind) const -> StringView {
    static constexpr StringView kNames[] = {Lit<Char, "p">, Lit<Char, "a">, Lit<Char, "font">,
                                            Lit<Char, "b">, Lit<Char, "i">, Lit<Char, "u">};
    return kind < kFirstOther ? kNames[kind] : StringView(otherNames_[kind - kFirstOther]);
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::LoadStack() {
    stack_.clear();
    for (const String& name : openElements) stack_.push_back(KindOf(name));
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::StoreStack() {
    openElements.clear();
    for (Kind kind : stack_) openElements.emplace_back(NameOf(kind));
}

// A public writer operation: on the stack read from openElements, which
// gets what is left of it.
template <typename Char>
template <typename Operation>
auto BasicRtfHtmlConverter<Char>::OnStack(Operation operation) -> String {
    String out;
    LoadStack();
    operation(out);
    StoreStack();
    return out;
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::OpenElement(StringView name) -> String {
    return OnStack([&](String& out) { AppendOpenElement(KindOf(name), out); });
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::OpenParagraph() -> String {
    return OnStack([&](String& out) { AppendOpenParagraph(out); });
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::OpenLink(StringView address) -> String {
    return OnStack([&](String& out) { AppendOpenLink(address, out); });
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::CloseElement(StringView name) -> String {
    return OnStack([&](String& out) { AppendCloseElement(KindOf(name), out); });
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::CloseAllElements() -> String {
    return OnStack([&](String& out) { AppendCloseAllElements(out); });
}

// The opening tags of one kind that still wait for a closing tag are
// chained through their `close` field, newest first.
template <typename Char>
inline void BasicRtfHtmlConverter<Char>::MarkOpening(size_t pos, size_t length, Kind kind) {
    if (!marking_) return;
    if (pos + length >= kNoMark) {
        tagMarks_.valid = marking_ = false;
        return;
    }
    auto& opening = tagMarks_.opening;
    opening.push_back({static_cast<uint32_t>(pos), static_cast<uint32_t>(length), tagMarks_.waiting[kind], kind});
    tagMarks_.waiting[kind] = static_cast<uint32_t>(opening.size() - 1);
}

// The HTML only grows, so this closing tag is the first of its kind after
// every opening tag of that kind still waiting for one.
template <typename Char>
inline void BasicRtfHtmlConverter<Char>::MarkClosing(size_t pos, Kind kind) {
    if (!marking_) return;
    if (pos >= kNoMark) {
        tagMarks_.valid = marking_ = false;
        return;
    }
    for (uint32_t waiting = tagMarks_.waiting[kind]; waiting != kNoMark;) {
        uint32_t next = tagMarks_.opening[waiting].close;
        tagMarks_.opening[waiting].close = static_cast<uint32_t>(pos);
        waiting = next;
    }
    tagMarks_.waiting[kind] = kNoMark;
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::CheckTagText(StringView text) {
    if (marking_ && FindUnit(text, Char('<')) == StringView::npos && FindUnit(text, Char('>')) == StringView::npos) {
        return;
    }
    tagMarks_.valid = marking_ = false;
}

// The tag of a non-paragraph element as it is opened now: a font element
// takes the size that is current at this moment.
template <typename Char>
void BasicRtfHtmlConverter<Char>::AppendOpeningTag(Kind kind, String& out) {
    static constexpr StringView kTags[] = {Lit<Char, "<p>">, Lit<Char, "<a>">, {},
                                           Lit<Char, "<b>">, Lit<Char, "<i>">, Lit<Char, "<u>">};
    const size_t at = out.size();
    if (kind == kFont) {
        out += Lit<Char, "<font size=\"">;
        out += fontSize;
        out += Lit<Char, "\">">;
        MarkOpening(at, out.size() - at, kind);
    } else if (kind < kFirstOther) {
        out += kTags[kind];
        MarkOpening(at, kTags[kind].size(), kind);
    } else {
        out += Char('<');
        out += NameOf(kind);
        out += Char('>');
    }
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::AppendClosingTag(Kind kind, String& out) {
    if (kind < kFirstOther) {
        MarkClosing(out.size(), kind);
        out += kClosingTags<Char>[kind];
    } else {
        out += Lit<Char, "</">;
        out += NameOf(kind);
        out += Char('>');
    }
}

// The reader opens bold, italic or underline for every switch it meets,
// even when that formatting is already open; past a few repeats another
// one changes nothing on screen, so we stop stacking them. `below` is how
// much of the stack counts.
template <typename Char>
bool BasicRtfHtmlConverter<Char>::FormattingFull(Kind kind, size_t below) const {
    if (kind != kBold && kind != kItalic && kind != kUnderline) return false;
    int count = 0;
    for (size_t k = 0; k < below; ++k) count += stack_[k] == kind;
    return count >= kMaxRepeatedFormatting;
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::AppendOpenElement(Kind kind, String& out) {
    if (kind == kParagraph) {
        AppendOpenParagraph(out);
        return;
    }
    if (FormattingFull(kind, stack_.size())) return;
    AppendOpeningTag(kind, out);
    stack_.push_back(kind);
}

// Elements closed to make room are reopened in the order they were opened,
// so the nesting from before is restored. They never leave the stack: the
// elements from `first` on are written again where they stand, as opening
// each anew would (a repeat of formatting past the limit is dropped). None
// of them is "p".
template <typename Char>
void BasicRtfHtmlConverter<Char>::ReopenFrom(size_t first, String& out) {
    size_t kept = first;
    for (size_t k = first; k < stack_.size(); ++k) {
        if (FormattingFull(stack_[k], kept)) continue;
        AppendOpeningTag(stack_[k], out);
        stack_[kept++] = stack_[k];
    }
    stack_.resize(kept);
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::AppendOpenParagraph(String& out) {
    for (size_t k = stack_.size(); k-- > 0;) AppendClosingTag(stack_[k], out);
    std::erase(stack_, kParagraph);
    const size_t at = out.size();
    out += Lit<Char, "<p align=\"">;
    out += alignment;
    out += Lit<Char, "\">">;
    MarkOpening(at, out.size() - at, kParagraph);
    stack_.insert(stack_.begin(), kParagraph);
    ReopenFrom(1, out);
}

// The address goes in verbatim: the editor's link dialog wrote it, and no
// other code writes an href.
template <typename Char>
void BasicRtfHtmlConverter<Char>::AppendOpenLink(StringView address, String& out) {
    size_t inner = stack_.size();
    while (inner > 0 && stack_[inner - 1] != kParagraph) AppendClosingTag(stack_[--inner], out);
    const size_t at = out.size();
    if (marking_) CheckTagText(address);
    out += Lit<Char, "<a href=\"">;
    out += address;
    out += Lit<Char, "\">">;
    MarkOpening(at, out.size() - at, kLink);
    stack_.insert(stack_.begin() + static_cast<std::ptrdiff_t>(inner), kLink);
    ReopenFrom(inner + 1, out);
}

// Closes the innermost element of `kind` with everything inside it, then
// reopens what was inside. Nothing happens when none is open.
template <typename Char>
void BasicRtfHtmlConverter<Char>::AppendCloseElement(Kind kind, String& out) {
    size_t index = stack_.size();
    while (index > 0 && stack_[index - 1] != kind) --index;
    if (index == 0) return;
    --index;
    if (std::find(stack_.begin() + static_cast<std::ptrdiff_t>(index) + 1, stack_.end(), kParagraph) !=
        stack_.end()) {
        // A paragraph inside another element (only a caller that set the
        // stack by hand gets here): reopening it starts a new paragraph
        // and closes everything, so go element by element.
        std::vector<Kind> closed;
        while (stack_.back() != kind) {
            closed.push_back(stack_.back());
            AppendClosingTag(stack_.back(), out);
            stack_.pop_back();
        }
        AppendClosingTag(kind, out);
        stack_.pop_back();
        for (auto it = closed.rbegin(); it != closed.rend(); ++it) AppendOpenElement(*it, out);
        return;
    }
    for (size_t k = stack_.size(); k-- > index;) AppendClosingTag(stack_[k], out);
    stack_.erase(stack_.begin() + static_cast<std::ptrdiff_t>(index));
    ReopenFrom(index, out);
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::AppendCloseAllElements(String& out) {
    for (size_t k = stack_.size(); k-- > 0;) AppendClosingTag(stack_[k], out);
    stack_.clear();
}

// RTF sizes are half points; the seven values are the heights the editor's
// text size box offers. Only the last two characters count, so "fs172"
// reads as 72.
template <typename Char>
auto BasicRtfHtmlConverter<Char>::HtmlFontSize(StringView word) -> String {
    StringView tail = word.size() > 2 ? word.substr(word.size() - 2) : word;
    int value = 0;
    for (Char c : tail) {
        if (c < Char('0') || c > Char('9')) break;
        value = value * 10 + (c - Char('0'));
    }
    switch (value) {
    case 17: return String(Lit<Char, "1">);
    case 20: return String(Lit<Char, "2">);
    case 28: return String(Lit<Char, "4">);
    case 36: return String(Lit<Char, "5">);
    case 48: return String(Lit<Char, "6">);
    case 72: return String(Lit<Char, "7">);
    default: return String(Lit<Char, "3">);
    }
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::RemoveEmptyElements(StringView html) -> String {
    String out(html);
    RemoveEmptyElementsInPlace(out, false);
    return out;
}

namespace {

// The removal of empty elements only ever drops characters, so it writes
// into the text it reads, behind the reading position; everything it still
// has to look at lies ahead and is untouched.
//
// What is kept is mostly long stretches of adjoining pieces (tags and the
// text between them): they are moved as one stretch, when the next piece
// does not adjoin, rather than one call per piece. The pending stretch
// [pendingFrom_, +pendingLength_) belongs at [write_ - pendingLength_,
// write_); nothing writes over it before then, since every move goes to a
// place at or before its source.
template <typename Char>
class Compactor {
public:
    explicit Compactor(std::basic_string<Char>& text) : text_(text) {}

    size_t Written() const { return write_; }

    void Keep(size_t from, size_t length) {
        if (pendingLength_ == 0 || pendingFrom_ + pendingLength_ != from) {
            Flush();
            pendingFrom_ = from;
        }
        pendingLength_ += length;
        write_ += length;
    }

    // Drops what was kept from `mark` on.
    void DropFrom(size_t mark) {
        const size_t cut = write_ - mark;
        pendingLength_ = cut <= pendingLength_ ? pendingLength_ - cut : 0;
        write_ = mark;
    }

    void Finish() {
        Flush();
        text_.resize(write_);
    }

private:
    void Flush() {
        const size_t to = write_ - pendingLength_;
        if (pendingLength_ > 0 && pendingFrom_ != to) {
            std::char_traits<Char>::move(text_.data() + to, text_.data() + pendingFrom_, pendingLength_);
        }
        pendingLength_ = 0;
    }

    std::basic_string<Char>& text_;
    size_t write_ = 0;
    size_t pendingFrom_ = 0;
    size_t pendingLength_ = 0;
};

// An element being read: its content runs up to its closing tag.
struct Frame {
    size_t contentEnd;  // where the closing tag starts
    size_t closeLength;
    size_t writeMark;   // write position before the opening tag
    size_t tagLength;
};

// Ends the innermost element read: when nothing inside it was kept, its
// opening tag goes too, else its closing tag is kept. Returns where reading
// goes on, after the closing tag. Runs once per element: kept inline, as
// a call here was a measurable share of the pass.
template <typename Char>
[[gnu::always_inline]] inline size_t EndFrame(std::vector<Frame>& frames, Compactor<Char>& out) {
    const Frame frame = frames.back();
    frames.pop_back();
    if (out.Written() == frame.writeMark + frame.tagLength) {
        out.DropFrom(frame.writeMark);
    } else {
        out.Keep(frame.contentEnd, frame.closeLength);
    }
    return frame.contentEnd + frame.closeLength;
}

// Every "%" becomes "&#37;", in place, moving the text between percent signs
// from the back.
template <typename Char>
void EscapePercentInPlace(std::basic_string<Char>& html) {
    std::vector<size_t> percents;
    for (size_t k = FindAnyOf(html, 0, Char('%')); k < html.size(); k = FindAnyOf(html, k + 1, Char('%'))) {
        percents.push_back(k);
    }
    if (percents.empty()) return;
    static constexpr std::basic_string_view<Char> kEscaped = Lit<Char, "&#37;">;
    size_t from = html.size();
    html.resize(html.size() + percents.size() * (kEscaped.size() - 1));
    size_t to = html.size();
    for (auto it = percents.rbegin(); it != percents.rend(); ++it) {
        size_t tail = from - (*it + 1);
        to -= tail;
        std::char_traits<Char>::move(html.data() + to, html.data() + *it + 1, tail);
        to -= kEscaped.size();
        std::char_traits<Char>::copy(html.data() + to, kEscaped.data(), kEscaped.size());
        from = *it;
    }
}

} // namespace

// Drops every element whose content is empty once the same pass has run over
// it. An element's content ends at the first closing tag of its name inside
// the enclosing content. Only the converter's own elements are recognised;
// a tag of any other name, a tag whose closing tag is missing and a stray
// closing tag are copied as text. Runs with an explicit stack, in one forward
// pass: tens of thousands of nested elements cost no recursion.
template <typename Char>
void BasicRtfHtmlConverter<Char>::RemoveEmptyElementsInPlace(String& html, bool escapePercent) {
    static constexpr std::array<StringView, 6> kNames = {Lit<Char, "p">, Lit<Char, "a">, Lit<Char, "font">,
                                                          Lit<Char, "b">, Lit<Char, "i">, Lit<Char, "u">};
    static constexpr const std::array<StringView, 6>& kClosing = kClosingTags<Char>;
    constexpr size_t npos = StringView::npos;

    const StringView text(html);
    ClosingTags<Char, kClosing.size()> closeSearch(text, kClosing);
    ForwardSearch<Char> gtSearch(Lit<Char, ">">);
    std::vector<Frame> frames;
    Compactor<Char> out(html);
    size_t pos = 0;
    for (;;) {
        size_t limit = frames.empty() ? text.size() : frames.back().contentEnd;
        if (pos >= limit) {
            if (frames.empty()) break;
            pos = EndFrame(frames, out);
            continue;
        }
        if (text[pos] != Char('<')) {
            size_t next = std::min(FindAnyOf(text, pos, Char('<')), limit);
            out.Keep(pos, next - pos);
            pos = next;
            continue;
        }
        // Tags are short: look a few characters ahead before the search
        // that keeps long runs without a ">" linear.
        const size_t lookAheadEnd = std::min(text.size(), pos + 33);
        size_t gt = detail::Scan(text.data(), lookAheadEnd, pos + 1, Char('>'));
        if (gt == lookAheadEnd) gt = gtSearch.Find(text, pos + 1);
        if (gt == npos || gt >= limit) {
            // No tag can end inside this content: the rest of it is text.
            out.Keep(pos, limit - pos);
            pos = limit;
            continue;
        }
        StringView tag = text.substr(pos, gt + 1 - pos);
        // The name runs from the "<" to the first space or the ">"; the six
        // names differ in their first letter.
        size_t k = kNames.size();
        switch (text[pos + 1]) {
        case Char('p'): k = 0; break;
        case Char('a'): k = 1; break;
        case Char('f'): k = 2; break;
        case Char('b'): k = 3; break;
        case Char('i'): k = 4; break;
        case Char('u'): k = 5; break;
        default: break;
        }
        if (k < kNames.size()) {
            const size_t nameEnd = pos + 1 + kNames[k].size();
            if (nameEnd > gt || (nameEnd < gt && text[nameEnd] != Char(' ')) ||
                !Same(text.substr(pos + 1, kNames[k].size()), kNames[k])) {
                k = kNames.size();
            }
        }
        if (k < kNames.size()) {
            size_t close = closeSearch.Next(k, pos);
            if (close != npos && close > gt && close + kClosing[k].size() <= limit) {
                frames.push_back({close, kClosing[k].size(), out.Written(), tag.size()});
                out.Keep(pos, tag.size());
                pos = gt + 1;
                continue;
            }
        }
        out.Keep(pos, tag.size());  // "<br />", foreign tags and unmatched ones
        pos = gt + 1;
    }
    out.Finish();
    if (escapePercent) EscapePercentInPlace(html);
}

// The same removal over HTML that this converter wrote, where it noted
// every opening and closing tag of its own six elements as it wrote them
// (tagMarks_): nothing has to be searched for. It holds only while every
// "<" and ">" of the HTML belongs to a tag the converter wrote, which
// MarkTagsFrom checks (text is escaped; a link address or a font size that
// a caller set could hold one): then the HTML has no tag or "<" besides
// those, and what is neither a marked opening tag nor a frame's closing tag
// (text, "<br />", a closing tag without its element) is kept as text,
// exactly as the general pass keeps it.
template <typename Char>
void BasicRtfHtmlConverter<Char>::RemoveEmptyMarkedElements(String& html, bool escapePercent) {
    // Opening tags still waiting at the end have no closing tag.
    for (uint32_t& waiting : tagMarks_.waiting) {
        while (waiting != kNoMark) waiting = std::exchange(tagMarks_.opening[waiting].close, kNoMark);
    }
    const size_t size = html.size();
    const auto& opening = tagMarks_.opening;
    size_t nextOpening = 0;
    std::vector<Frame> frames;
    Compactor<Char> out(html);
    size_t pos = 0;
    for (;;) {
        size_t limit = frames.empty() ? size : frames.back().contentEnd;
        if (pos >= limit) {
            if (frames.empty()) break;
            pos = EndFrame(frames, out);
            continue;
        }
        while (nextOpening < opening.size() && opening[nextOpening].pos < pos) ++nextOpening;
        const size_t next = nextOpening < opening.size() ? opening[nextOpening].pos : size;
        if (next >= limit) {
            out.Keep(pos, limit - pos);
            pos = limit;
            continue;
        }
        if (next > pos) out.Keep(pos, next - pos);
        const TagMark& tag = opening[nextOpening];
        const size_t tagEnd = tag.pos + tag.length;
        const size_t closeLength = kClosingTags<Char>[tag.kind].size();
        const size_t close = tag.close;
        if (tag.close != kNoMark && close >= tagEnd && close + closeLength <= limit) {
            // Filled in place: a frame built aside and copied in stalled on
            // reading back what was just written.
            Frame& frame = frames.emplace_back();
            frame.contentEnd = close;
            frame.closeLength = closeLength;
            frame.writeMark = out.Written();
            frame.tagLength = tag.length;
        }
        out.Keep(tag.pos, tag.length);
        pos = tagEnd;
    }
    out.Finish();
    if (escapePercent) EscapePercentInPlace(html);
}

// The writer's members for both forms of text; the class itself and the
// reader's members are instantiated in rtf_html_converter.cpp.
#define VELLUMA_WRITER_MEMBERS(C)                                                              \
    template C::String C::OpenElement(C::StringView);                                         \
    template C::String C::OpenParagraph();                                                    \
    template C::String C::OpenLink(C::StringView);                                            \
    template C::String C::CloseElement(C::StringView);                                        \
    template C::String C::CloseAllElements();                                                 \
    template C::String C::HtmlFontSize(C::StringView);                                        \
    template C::String C::RemoveEmptyElements(C::StringView);                                 \
    template void C::RemoveEmptyElementsInPlace(C::String&, bool);                            \
    template void C::RemoveEmptyMarkedElements(C::String&, bool);                             \
    template void C::AppendOpenElement(C::Kind, C::String&);                                  \
    template void C::AppendOpenParagraph(C::String&);                                         \
    template void C::AppendOpenLink(C::StringView, C::String&);                               \
    template void C::AppendCloseElement(C::Kind, C::String&);                                 \
    template void C::AppendCloseAllElements(C::String&);                                      \
    template void C::AppendOpeningTag(C::Kind, C::String&);                                   \
    template void C::AppendClosingTag(C::Kind, C::String&);                                   \
    template void C::MarkOpening(size_t, size_t, C::Kind);                                    \
    template void C::MarkClosing(size_t, C::Kind);                                            \
    template void C::CheckTagText(C::StringView);                                             \
    template bool C::FormattingFull(C::Kind, size_t) const;                                   \
    template void C::ReopenFrom(size_t, C::String&);                                          \
    template C::Kind C::KindOf(C::StringView);                                                \
    template C::StringView C::NameOf(C::Kind) const;                                          \
    template void C::LoadStack();                                                             \
    template void C::StoreStack();

using Utf16Converter = BasicRtfHtmlConverter<char16_t>;
using Utf8Converter = BasicRtfHtmlConverter<char>;
VELLUMA_WRITER_MEMBERS(Utf16Converter)
VELLUMA_WRITER_MEMBERS(Utf8Converter)
#undef VELLUMA_WRITER_MEMBERS

} // namespace rtfhtml
