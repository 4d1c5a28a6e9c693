// Reading side of the converter: scans the editor's RTF and calls the writer
// (html_writer.cpp) for everything that becomes a tag.
//
// Every loop here moves forward through the text and no operation calls
// itself: a link's text is converted by one nested run, which never starts
// another link. So any input converts in time linear in its length and
// without deep recursion.

#include "rtfhtml/rtf_html_converter.h"

#include "rtfhtml/scan.h"
#include "rtfhtml/strip_groups.h"
#include "rtfhtml/unit_text.h"

#include <algorithm>

namespace rtfhtml {

namespace {

// Characters are compared as code units; in the UTF-8 form every byte of a
// character that is not ASCII is 0x80 or more, so it never equals one of
// the ASCII characters looked for here.
template <typename Char>
bool IsDelimiter(Char c) {
    return c == Char(' ') || c == Char('\n') || c == Char('\r');
}

template <typename Char>
bool IsDigit(Char c) {
    return c >= Char('0') && c <= Char('9');
}

template <typename Char>
int HexValue(Char c) {
    if (c >= Char('0') && c <= Char('9')) return c - Char('0');
    if (c >= Char('a') && c <= Char('f')) return c - Char('a') + 10;
    if (c >= Char('A') && c <= Char('F')) return c - Char('A') + 10;
    return -1;
}

template <typename Char>
bool IsByteEscape(std::basic_string_view<Char> text, size_t pos) {
    return pos + 3 < text.size() && text[pos] == Char('\\') && text[pos + 1] == Char('\'') &&
           HexValue(text[pos + 2]) >= 0 && HexValue(text[pos + 3]) >= 0;
}

// "\u" followed by a decimal number, optionally negative; "\ul" and "\uc1"
// are control words.
template <typename Char>
bool IsUnicodeEscape(std::basic_string_view<Char> text, size_t pos) {
    if (pos + 2 >= text.size() || text[pos + 1] != Char('u')) return false;
    if (IsDigit(text[pos + 2])) return true;
    return text[pos + 2] == Char('-') && pos + 3 < text.size() && IsDigit(text[pos + 3]);
}

// The characters that the editor's words for typographic characters stand
// for (one code unit each, 0 for the line word), and the line and tab words.
struct CharacterWord {
    std::string_view word;
    char16_t character;
};
constexpr CharacterWord kCharacterWords[] = {
    {"line", 0},  // "<br />"
    {"tab", u'\t'},
    {"lquote", u'\u2018'},
    {"rquote", u'\u2019'},
    {"ldblquote", u'\u201C'},
    {"rdblquote", u'\u201D'},
    {"emdash", u'\u2014'},
    {"endash", u'\u2013'},
    {"bullet", u'\u2022'},
};

// Whether `word` is the ASCII `wanted`.
template <typename Char>
bool WordIs(std::basic_string_view<Char> word, std::string_view wanted) {
    return word.size() == wanted.size() && std::equal(word.begin(), word.end(), wanted.begin(),
                                                      [](Char a, char b) { return a == static_cast<Char>(b); });
}

// The decimal parameter of a word such as "uc1", -1 when the rest of the
// word is not all digits. Large values saturate.
template <typename Char>
long WordParameter(std::basic_string_view<Char> word, size_t prefix) {
    long value = 0;
    for (size_t k = prefix; k < word.size(); ++k) {
        if (!IsDigit(word[k])) return -1;
        value = std::min(value * 10 + (word[k] - Char('0')), 1000000L);
    }
    return value;
}

template <typename Char>
void ReplaceAll(std::basic_string<Char>& text, std::basic_string_view<Char> from) {
    std::basic_string<Char> out;
    size_t start = 0;
    for (size_t hit = text.find(from); hit != text.npos; hit = text.find(from, start)) {
        out.append(text, start, hit - start);
        start = hit + from.size();
    }
    if (start == 0) return;
    out.append(text, start);
    text.swap(out);
}

} // namespace

template <typename Char>
auto BasicRtfHtmlConverter<Char>::TrimFinalParagraph(StringView rtf) -> String {
    String out(rtf);
    TrimFinalParagraphInPlace(out);
    return out;
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::TrimFinalParagraphInPlace(String& rtf) {
    size_t last = rtf.rfind(Lit<Char, "\\par">);
    rtf.resize(last != String::npos && last >= 1 ? last : 0);
    rtf += Lit<Char, "\n}">;
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::Convert(StringView rtf, StringView startMarker, bool closeAll) -> String {
    size_t start = rtf.find(startMarker);
    if (start == StringView::npos) return {};
    // Nothing before the marker is read but the character just before it (a
    // backslash there escapes a brace at the marker).
    size_t keep = start > 0 ? start - 1 : 0;
    return ConvertTaking(String(rtf.substr(keep)), startMarker, closeAll);
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::ConvertTaking(String rtf, StringView startMarker, bool closeAll,
                                                bool groupsDropped, bool escapePercent) -> String {
    size_t start = rtf.find(startMarker);
    if (start == String::npos) return {};
    if (!groupsDropped) StripGroupsInPlace(rtf, start);
    String html;
    LoadStack();
    tagMarks_ = {};
    tagMarks_.valid = marking_ = useTagMarks_;
    // A guess at the number of tags, so that the marks are not copied as
    // they grow.
    if (marking_) {
        tagMarks_.opening.reserve(rtf.size() / 16 + 16);
        CheckTagText(fontSize);
        for (const String& name : otherNames_) CheckTagText(name);
    }
    ConvertRun(rtf, start, closeAll, false, html);
    marking_ = false;
    StoreStack();
    // The percent signs are escaped because the publishing library treats the
    // post as a format string.
    if (tagMarks_.valid) {
        RemoveEmptyMarkedElements(html, escapePercent);
    } else {
        RemoveEmptyElementsInPlace(html, escapePercent);
    }
    tagMarks_ = {};
    return html;
}

template <typename Char>
auto BasicRtfHtmlConverter<Char>::StripGroups(StringView text, size_t start) -> String {
    String out(text);
    StripGroupsInPlace(out, start);
    return out;
}

// Characters are only dropped, so the text is compacted in place.
template <typename Char>
void BasicRtfHtmlConverter<Char>::StripGroupsInPlace(String& text, size_t start) {
    size_t write = std::min(start, text.size());
    ForEachUngroupedStretch(StringView(text), start, [&](size_t from, size_t length) {
        if (from != write) std::char_traits<Char>::move(text.data() + write, text.data() + from, length);
        write += length;
    });
    text.resize(write);
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::AppendText(String& out, char16_t c, bool forHtml) const {
    if (forHtml) {
        switch (c) {
        case u'&': out += Lit<Char, "&amp;">; return;
        case u'<': out += Lit<Char, "&lt;">; return;
        case u'>': out += Lit<Char, "&gt;">; return;
        default: break;
        }
    }
    AppendUnit(out, c);
}

// After "\uN" the RTF repeats the character for readers that do not know
// Unicode; we skip that many characters, a byte escape counting as one.
template <typename Char>
size_t BasicRtfHtmlConverter<Char>::SkipUnicodeFallback(StringView text, size_t pos) const {
    for (long left = unicodeFallback_; left > 0 && pos < text.size(); --left) {
        if (IsByteEscape(text, pos)) {
            pos += 4;
        } else if (text[pos] == Char('\\') || text[pos] == Char('{') || text[pos] == Char('}') ||
                   text[pos] == Char('\r') || text[pos] == Char('\n')) {
            break;  // a control word or group: the fallback is over
        } else {
            pos = NextUnit(text, pos);
        }
    }
    return pos;
}

// Escapes of one character: "\\", "\{", "\}", "\'hh", "\uN", "\~", "\_",
// "\-". With `out` null this only tells whether one starts at `pos`.
template <typename Char>
size_t BasicRtfHtmlConverter<Char>::ReadEscape(StringView text, size_t pos, String* out, bool forHtml) {
    if (pos + 1 >= text.size() || text[pos] != Char('\\')) return 0;
    Char next = text[pos + 1];
    // Most backslashes start a control word: a letter, and only "u" can
    // begin an escape.
    if (next >= Char('a') && next <= Char('z') && next != Char('u')) return 0;
    switch (next) {
    case Char('\\'):
    case Char('{'):
    case Char('}'):
        if (out) *out += next;
        return 2;
    case Char('~'):
        if (out) AppendUnit(*out, u'\u00A0');
        return 2;
    case Char('_'):
        if (out) AppendUnit(*out, u'\u2011');
        return 2;
    case Char('-'):
        return 2;  // optional hyphen: only a hint where a word may break
    default:
        break;
    }
    if (IsByteEscape(text, pos)) {
        if (out) {
            auto byte = static_cast<unsigned char>(HexValue(text[pos + 2]) * 16 + HexValue(text[pos + 3]));
            AppendText(*out, codePage_->Decode(byte), forHtml);
        }
        return 4;
    }
    if (!IsUnicodeEscape(text, pos)) return 0;
    if (!out) return 1;
    size_t k = pos + 2;
    bool negative = text[k] == Char('-');
    if (negative) ++k;
    unsigned value = 0;  // modulo 65536, so out-of-range numbers wrap like their 16-bit form
    for (; k < text.size() && IsDigit(text[k]); ++k) value = (value * 10 + (text[k] - Char('0'))) & 0xFFFF;
    if (negative) value = (65536 - value) & 0xFFFF;
    AppendText(*out, static_cast<char16_t>(value), forHtml);
    if (k < text.size() && text[k] == Char(' ')) ++k;
    return SkipUnicodeFallback(text, k) - pos;
}

template <typename Char>
void BasicRtfHtmlConverter<Char>::ConvertRun(StringView text, size_t start, bool closeAll, bool insideLink,
                                             String& out) {
    alignment = Lit<Char, "left">;
    if (!insideLink) {
        hiddenSwitch_.Reset();
        quote_.Reset();
        // Room for the HTML, which is about as long as the RTF; pages that
        // stay unused cost no memory.
        out.reserve(out.size() + 2 * (text.size() - std::min(start, text.size())) + 64);
    }

    const StringView view = text;
    size_t k = start;
    while (k < view.size()) {
        Char c = view[k];
        if (c == Char('\n')) {
            ++k;
            continue;
        }
        if (c == Char('}')) {
            AppendCloseAllElements(out);
            break;
        }
        if (c != Char('\\')) {
            if (c == Char('&') || c == Char('<') || c == Char('>')) {
                AppendText(out, static_cast<char16_t>(c), true);
                ++k;
                continue;
            }
            // A stretch of plain text, copied at once.
            size_t end = FindAnyOf(view, k + 1, Char('\\'), Char('\n'), Char('}'), Char('&'), Char('<'), Char('>'));
            out.append(view.substr(k, end - k));
            k = end;
            continue;
        }
        if (size_t taken = ReadEscape(view, k, &out, true)) {
            k += taken;
            continue;
        }
        // A control-word run: up to its delimiter, or up to an escape, which
        // is text and so ends the run without a delimiter. Its words are the
        // pieces between its backslashes; where each starts is noted on the
        // way, and whether one starts with "shad" (the run holds "\shad").
        wordStarts_.clear();
        bool linkSwitch = false;
        size_t end = k;
        for (;;) {
            const size_t word = end;
            wordStarts_.push_back(word - k);
            end = FindAnyOf(view, end + 1, Char('\\'), Char(' '), Char('\n'), Char('\r'));
            if (!linkSwitch && end - word > 4 && view[word + 1] == Char('s') && view[word + 2] == Char('h') &&
                view[word + 3] == Char('a') && view[word + 4] == Char('d')) {
                linkSwitch = true;
            }
            if (end == view.size() || view[end] != Char('\\') || ReadEscape(view, end, nullptr, true)) break;
        }
        StringView run = view.substr(k, end - k);
        if (!insideLink && linkSwitch) {
            if (size_t consumed = ReadLink(view, k, out)) {
                k += consumed;
                continue;
            }
        }
        ApplyControlWords(run, out);
        k = end;
        if (k < view.size() && IsDelimiter(view[k])) ++k;
    }
    if (closeAll && !stack_.empty()) AppendCloseAllElements(out);
}

// Dispatched on the word's first letter: this runs for every control word of
// the text, and most words (\lang1033, \sl-240, \f0 ...) mean nothing here.
// The words are those whose starts ConvertRun noted in wordStarts_.
template <typename Char>
void BasicRtfHtmlConverter<Char>::ApplyControlWords(StringView run, String& out) {
    const size_t count = wordStarts_.size();
    auto wordAt = [&](size_t n) {
        const size_t from = wordStarts_[n] + 1;
        return run.substr(from, (n + 1 < count ? wordStarts_[n + 1] : run.size()) - from);
    };
    for (size_t n = 0; n < count; ++n) {
        StringView word = wordAt(n);
        if (word.empty()) continue;
        switch (word[0]) {
        case Char('p'):
            if (Same(word, Lit<Char, "pard">)) {
                if (n + 1 < count && Same(wordAt(n + 1), Lit<Char, "par">)) {
                    out += Lit<Char, "<br />">;
                } else {
                    // "\qc" anywhere in the run wins over "\qr".
                    bool center = false;
                    bool right = false;
                    for (size_t m = 0; m < count; ++m) {
                        StringView other = wordAt(m);
                        if (other.size() == 2 && other[0] == Char('q')) {
                            center = center || other[1] == Char('c');
                            right = right || other[1] == Char('r');
                        }
                    }
                    alignment = center ? Lit<Char, "center"> : right ? Lit<Char, "right"> : Lit<Char, "left">;
                    AppendOpenElement(kParagraph, out);
                }
            } else if (Same(word, Lit<Char, "par">)) {
                out += Lit<Char, "<br />">;
            }
            break;
        case Char('l'):
        case Char('t'):
        case Char('r'):
        case Char('e'):
        case Char('b'): {
            // Every word of that table starts with one of these letters.
            auto character = std::find_if(std::begin(kCharacterWords), std::end(kCharacterWords),
                                          [&](const CharacterWord& c) { return WordIs(word, c.word); });
            if (character != std::end(kCharacterWords)) {
                if (character->character == 0) {
                    out += Lit<Char, "<br />">;
                } else {
                    AppendUnit(out, character->character);
                }
            } else if (word[0] == Char('b')) {
                if (word.size() > 1 && word[1] == Char('0')) {
                    AppendCloseElement(kBold, out);
                } else {
                    AppendOpenElement(kBold, out);
                }
            }
            break;
        }
        case Char('u'):
            if (word.size() >= 2 && word[1] == Char('c')) {
                if (long count = WordParameter(word, 2); count >= 0) unicodeFallback_ = count;
            } else if (Same(word, Lit<Char, "ul">)) {
                AppendOpenElement(kUnderline, out);
            } else if (Same(word, Lit<Char, "ulnone">)) {
                AppendCloseElement(kUnderline, out);
            }
            break;
        case Char('i'):
            if (word.size() > 1 && word[1] == Char('0')) {
                AppendCloseElement(kItalic, out);
            } else {
                AppendOpenElement(kItalic, out);
            }
            break;
        case Char('f'):
            if (word.size() >= 2 && word[1] == Char('s')) {
                AppendCloseElement(kFont, out);
                fontSize = HtmlFontSize(word);
                AppendOpenElement(kFont, out);
            }
            break;
        default:
            break;
        }
    }
}

// The editor writes a link as visible text in the shadow effect followed at
// once by hidden text: "#", a double quote, the address, a double quote.
// `runStart` is the backslash of the run that holds "\shad"; the result says
// where the outer scan resumes: after the address's closing quote.
template <typename Char>
size_t BasicRtfHtmlConverter<Char>::ReadLink(StringView text, size_t runStart, String& out) {
    size_t hidden = hiddenSwitch_.Find(text, runStart);
    if (hidden == StringView::npos) hidden = text.size();

    // Where the address starts: a "#" directly before the first double quote
    // of the hidden text. Anything else means the shadowed text is no link
    // of ours (pasted text, say): it still becomes a link without address,
    // but nothing after it is swallowed, so no typed text is lost.
    size_t quote = quote_.Find(text, hidden);
    bool hasAddress = quote != StringView::npos && quote > hidden && text[quote - 1] == Char('#');
    if (!hasAddress && hidden == runStart) return 0;  // not even link text: an ordinary run

    String linkText(text.substr(runStart, hidden - runStart));
    ReplaceAll(linkText, Lit<Char, "\\shad">);

    if (linkText.find(Lit<Char, "\\pard">) != String::npos) {
        if (linkText.find(Lit<Char, "\\qc">) != String::npos) {
            ReplaceAll(linkText, Lit<Char, "\\qc">);
            alignment = Lit<Char, "center">;
        } else if (linkText.find(Lit<Char, "\\qr">) != String::npos) {
            ReplaceAll(linkText, Lit<Char, "\\qr">);
            alignment = Lit<Char, "right">;
        } else {
            alignment = Lit<Char, "left">;
        }
        ReplaceAll(linkText, Lit<Char, "\\pard">);
        AppendOpenElement(kParagraph, out);
    }

    String address;
    size_t resume = hidden;
    if (hasAddress) {
        size_t close = quote_.Find(text, quote + 1);
        size_t end = close == StringView::npos ? text.size() : close;
        const StringView inside = text.substr(0, end);
        for (size_t k = quote + 1; k < end;) {
            size_t backslash = std::min(FindUnit(inside, Char('\\'), k), end);
            address.append(inside.substr(k, backslash - k));
            k = backslash;
            if (k == end) break;
            if (size_t taken = ReadEscape(inside, k, &address, false)) {
                k += taken;
            } else {
                address += text[k++];
            }
        }
        resume = close == StringView::npos ? text.size() : close + 1;
    }

    AppendOpenLink(address, out);
    StripGroupsInPlace(linkText, 0);
    ConvertRun(linkText, 0, false, true, out);
    AppendCloseElement(kLink, out);
    return resume - runStart;
}

template class BasicRtfHtmlConverter<char16_t>;
template class BasicRtfHtmlConverter<char>;

} // namespace rtfhtml
