// Reading side of the converter: scans the editor's RTF and calls the writer
// (html_writer.cpp) for everything that becomes a tag.
//
// Every loop here moves forward through the text and no operation calls
// itself: a link's text is converted by one nested run, which never starts
// another link. So any input converts in time linear in its length and
// without deep recursion.

#include "rtfhtml/rtf_html_converter.h"

#include <algorithm>
#include <iterator>

namespace rtfhtml {

namespace {

using core::String;
using core::StringView;

constexpr size_t npos = StringView::npos;

// Index of the first of `chars` at or after `from`; the text's size when
// there is none. (A plain loop: find_first_of looks each character up in
// the set, several times slower over megabytes of text.)
template <typename... Chars>
size_t FindAny(StringView text, size_t from, Chars... chars) {
    for (size_t k = from; k < text.size(); ++k) {
        if (((text[k] == chars) || ...)) return k;
    }
    return text.size();
}

bool IsDelimiter(char16_t c) {
    return c == u' ' || c == u'\n' || c == u'\r';
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool IsByteEscape(StringView text, size_t pos) {
    return pos + 3 < text.size() && text[pos] == u'\\' && text[pos + 1] == u'\'' && HexValue(text[pos + 2]) >= 0 &&
           HexValue(text[pos + 3]) >= 0;
}

// "\u" followed by a decimal number, optionally negative; "\ul" and "\uc1"
// are control words.
bool IsUnicodeEscape(StringView text, size_t pos) {
    if (pos + 2 >= text.size() || text[pos + 1] != u'u') return false;
    if (IsDigit(text[pos + 2])) return true;
    return text[pos + 2] == u'-' && pos + 3 < text.size() && IsDigit(text[pos + 3]);
}

// The characters that the editor's words for typographic characters stand
// for (0 for the line word, which is a line break), and the tab word.
struct CharacterWord {
    StringView word;
    char16_t character;
};
constexpr CharacterWord kCharacterWords[] = {
    {u"line", 0},
    {u"tab", u'\t'},
    {u"lquote", u'\u2018'},
    {u"rquote", u'\u2019'},
    {u"ldblquote", u'\u201C'},
    {u"rdblquote", u'\u201D'},
    {u"emdash", u'\u2014'},
    {u"endash", u'\u2013'},
    {u"bullet", u'\u2022'},
};

constexpr StringView kLineBreak = u"<br />";

// The decimal parameter of a word such as "uc1", -1 when the rest of the
// word is not all digits. Large values saturate.
long WordParameter(StringView word, size_t prefix) {
    long value = 0;
    for (size_t k = prefix; k < word.size(); ++k) {
        if (!IsDigit(word[k])) return -1;
        value = std::min(value * 10 + (word[k] - u'0'), 1000000L);
    }
    return value;
}

void AppendText(String& out, char16_t c, bool forHtml) {
    if (forHtml) {
        switch (c) {
        case u'&': out += u"&amp;"; return;
        case u'<': out += u"&lt;"; return;
        case u'>': out += u"&gt;"; return;
        default: break;
        }
    }
    out += c;
}

void Remove(String& text, StringView what) {
    core::ReplaceAll(text, what, u"");
}

} // namespace

String RtfHtmlConverter::TrimFinalParagraph(String rtf) {
    size_t last = rtf.rfind(u"\\par");
    rtf.resize(last != npos && last >= 1 ? last : 0);
    rtf += u"\n}";
    return rtf;
}

String RtfHtmlConverter::Convert(String rtf, StringView startMarker, bool closeAll) {
    size_t start = rtf.find(startMarker);
    if (start == npos) return {};
    // Nothing before the marker is read but the character just before it (a
    // backslash there escapes a brace at the marker).
    size_t keep = start > 0 ? start - 1 : 0;
    String html;
    {
        // Each text goes as soon as the next is made: first the RTF, then
        // the RTF without its groups.
        const String text = StripGroups(StringView(rtf).substr(keep), start - keep);
        rtf.clear();
        rtf.shrink_to_fit();
        // Room for the HTML, which is about as long as the text.
        html.reserve(2 * text.size() + 64);
        ConvertRun(text, start - keep, closeAll, false, html);
    }
    return RemoveEmptyElements(html, true);
}

// An opening brace not directly preceded by a backslash starts a group, which
// goes with every group nested in it; its extent is found by counting every
// brace in it, escaped ones included. Whether a brace is ever closed depends
// only on the text after it, so one pass over the braces finds those that
// never are; then every group is read once, and the whole operation stays
// linear even for thousands of unclosed braces.
String RtfHtmlConverter::StripGroups(StringView text, size_t start) {
    start = std::min(start, text.size());
    std::vector<size_t> unclosed;  // ascending
    for (size_t k = FindAny(text, start, u'{', u'}'); k < text.size(); k = FindAny(text, k + 1, u'{', u'}')) {
        if (text[k] == u'{') {
            unclosed.push_back(k);
        } else if (!unclosed.empty()) {
            unclosed.pop_back();
        }
    }

    String out(text.substr(0, start));
    out.reserve(text.size());
    size_t nextUnclosed = 0;
    size_t k = start;
    while (k < text.size()) {
        size_t brace = text.find(u'{', k);
        while (brace != npos && brace > 0 && text[brace - 1] == u'\\') brace = text.find(u'{', brace + 1);
        if (brace == npos) {
            out += text.substr(k);
            break;
        }
        out += text.substr(k, brace - k);
        while (nextUnclosed < unclosed.size() && unclosed[nextUnclosed] < brace) ++nextUnclosed;
        if (nextUnclosed < unclosed.size() && unclosed[nextUnclosed] == brace) {
            k = brace + 1;  // never closed: only the "{" goes
            continue;
        }
        size_t depth = 0;
        size_t close = brace;
        for (;; close = FindAny(text, close + 1, u'{', u'}')) {
            if (text[close] == u'{') {
                ++depth;
            } else if (--depth == 0) {
                break;
            }
        }
        k = close + 1;
    }
    return out;
}

// After "\uN" the RTF repeats the character for readers that do not know
// Unicode; we skip that many characters, a byte escape counting as one.
size_t RtfHtmlConverter::SkipUnicodeFallback(StringView text, size_t pos) const {
    for (long left = unicodeFallback_; left > 0 && pos < text.size(); --left) {
        if (IsByteEscape(text, pos)) {
            pos += 4;
        } else if (text[pos] == u'\\' || text[pos] == u'{' || text[pos] == u'}' || text[pos] == u'\r' ||
                   text[pos] == u'\n') {
            break;  // a control word or group: the fallback is over
        } else {
            ++pos;
        }
    }
    return pos;
}

// Escapes of one character: "\\", "\{", "\}", "\'hh", "\uN", "\~", "\_",
// "\-".
size_t RtfHtmlConverter::ReadEscape(StringView text, size_t pos, String* out, bool forHtml) const {
    if (pos + 1 >= text.size() || text[pos] != u'\\') return 0;
    char16_t next = text[pos + 1];
    // Most backslashes start a control word: a letter, and only "u" can
    // begin an escape.
    if (next >= u'a' && next <= u'z' && next != u'u') return 0;
    switch (next) {
    case u'\\':
    case u'{':
    case u'}':
        if (out) *out += next;
        return 2;
    case u'~':
        if (out) *out += u'\u00A0';
        return 2;
    case u'_':
        if (out) *out += u'\u2011';
        return 2;
    case u'-':
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
    bool negative = text[k] == u'-';
    if (negative) ++k;
    unsigned value = 0;  // modulo 65536, so out-of-range numbers wrap like their 16-bit form
    for (; k < text.size() && IsDigit(text[k]); ++k) value = (value * 10 + (text[k] - u'0')) & 0xFFFF;
    if (negative) value = (65536 - value) & 0xFFFF;
    AppendText(*out, static_cast<char16_t>(value), forHtml);
    if (k < text.size() && text[k] == u' ') ++k;
    return SkipUnicodeFallback(text, k) - pos;
}

void RtfHtmlConverter::ConvertRun(StringView text, size_t start, bool closeAll, bool insideLink, String& out) {
    alignment = u"left";
    if (!insideLink) {
        hiddenSwitch_.Reset();
        quote_.Reset();
    }
    size_t k = start;
    while (k < text.size()) {
        char16_t c = text[k];
        if (c == u'\n') {
            ++k;
            continue;
        }
        if (c == u'}') {
            CloseAllElements(out);
            break;
        }
        if (c != u'\\') {
            if (c == u'&' || c == u'<' || c == u'>') {
                AppendText(out, c, true);
                ++k;
                continue;
            }
            // A stretch of plain text, copied at once.
            size_t end = FindAny(text, k + 1, u'\\', u'\n', u'}', u'&', u'<', u'>');
            out += text.substr(k, end - k);
            k = end;
            continue;
        }
        if (size_t taken = ReadEscape(text, k, &out, true)) {
            k += taken;
            continue;
        }
        // A control-word run: up to its delimiter, or up to an escape, which
        // is text and so ends the run without a delimiter.
        size_t end = k;
        do {
            end = FindAny(text, end + 1, u'\\', u' ', u'\n', u'\r');
        } while (end < text.size() && text[end] == u'\\' && !ReadEscape(text, end, nullptr, true));
        StringView run = text.substr(k, end - k);
        if (!insideLink && run.find(u"\\shad") != npos) {
            if (size_t consumed = ReadLink(text, k, out)) {
                k += consumed;
                continue;
            }
        }
        ApplyControlWords(run, out);
        k = end;
        if (k < text.size() && IsDelimiter(text[k])) ++k;
    }
    if (closeAll && !openElements.empty()) CloseAllElements(out);
}

// Dispatched on the word's first letter: this runs for every control word of
// the text, and most words (\lang1033, \sl-240, \f0 ...) mean nothing here.
void RtfHtmlConverter::ApplyControlWords(StringView run, String& out) {
    words_.clear();
    for (size_t from = run.find(u'\\'); from != npos;) {
        size_t next = run.find(u'\\', from + 1);
        words_.push_back(run.substr(from + 1, (next == npos ? run.size() : next) - from - 1));
        from = next;
    }
    for (size_t n = 0; n < words_.size(); ++n) {
        StringView word = words_[n];
        if (word.empty()) continue;
        switch (word[0]) {
        case u'p':
            if (word == u"pard") {
                if (n + 1 < words_.size() && words_[n + 1] == u"par") {
                    out += kLineBreak;
                } else {
                    // "\qc" anywhere in the run wins over "\qr".
                    bool center = std::find(words_.begin(), words_.end(), u"qc") != words_.end();
                    bool right = std::find(words_.begin(), words_.end(), u"qr") != words_.end();
                    alignment = center ? u"center" : right ? u"right" : u"left";
                    OpenElement(kParagraph, out);
                }
            } else if (word == u"par") {
                out += kLineBreak;
            }
            break;
        case u'l':
        case u't':
        case u'r':
        case u'e':
        case u'b': {
            // Every word of that table starts with one of these letters.
            auto character = std::find_if(std::begin(kCharacterWords), std::end(kCharacterWords),
                                          [&](const CharacterWord& c) { return c.word == word; });
            if (character != std::end(kCharacterWords)) {
                if (character->character == 0) {
                    out += kLineBreak;
                } else {
                    out += character->character;
                }
            } else if (word[0] == u'b') {
                if (word.size() > 1 && word[1] == u'0') {
                    CloseElement(kBold, out);
                } else {
                    OpenElement(kBold, out);
                }
            }
            break;
        }
        case u'u':
            if (word.size() >= 2 && word[1] == u'c') {
                if (long count = WordParameter(word, 2); count >= 0) unicodeFallback_ = count;
            } else if (word == u"ul") {
                OpenElement(kUnderline, out);
            } else if (word == u"ulnone") {
                CloseElement(kUnderline, out);
            }
            break;
        case u'i':
            if (word.size() > 1 && word[1] == u'0') {
                CloseElement(kItalic, out);
            } else {
                OpenElement(kItalic, out);
            }
            break;
        case u'f':
            if (word.size() >= 2 && word[1] == u's') {
                CloseElement(kFont, out);
                fontSize = HtmlFontSize(word);
                OpenElement(kFont, out);
            }
            break;
        default:
            break;
        }
    }
}

// The editor writes a link as visible text in the shadow effect followed at
// once by hidden text: "#", a double quote, the address, a double quote.
// `runStart` is the backslash of the run that holds "\shad"; the outer scan
// resumes after what the link took: up to the address's closing quote.
size_t RtfHtmlConverter::ReadLink(StringView text, size_t runStart, String& out) {
    size_t hidden = hiddenSwitch_.Find(text, runStart);
    if (hidden == npos) hidden = text.size();

    // Where the address starts: a "#" directly before the first double quote
    // of the hidden text. Anything else means the shadowed text is no link
    // of ours (pasted text, say): it still becomes a link without address,
    // but nothing after it is swallowed, so no typed text is lost.
    size_t quote = quote_.Find(text, hidden);
    bool hasAddress = quote != npos && quote > hidden && text[quote - 1] == u'#';
    if (!hasAddress && hidden == runStart) return 0;  // not even link text: an ordinary run

    String linkText(text.substr(runStart, hidden - runStart));
    Remove(linkText, u"\\shad");

    if (linkText.find(u"\\pard") != npos) {
        if (linkText.find(u"\\qc") != npos) {
            Remove(linkText, u"\\qc");
            alignment = u"center";
        } else if (linkText.find(u"\\qr") != npos) {
            Remove(linkText, u"\\qr");
            alignment = u"right";
        } else {
            alignment = u"left";
        }
        Remove(linkText, u"\\pard");
        OpenElement(kParagraph, out);
    }

    String address;
    size_t resume = hidden;
    if (hasAddress) {
        size_t close = quote_.Find(text, quote + 1);
        size_t end = close == npos ? text.size() : close;
        const StringView inside = text.substr(0, end);
        for (size_t k = quote + 1; k < end;) {
            size_t backslash = std::min(inside.find(u'\\', k), end);
            address += inside.substr(k, backslash - k);
            k = backslash;
            if (k == end) break;
            if (size_t taken = ReadEscape(inside, k, &address, false)) {
                k += taken;
            } else {
                address += text[k++];
            }
        }
        resume = close == npos ? text.size() : close + 1;
    }

    OpenLink(address, out);
    ConvertRun(StripGroups(linkText, 0), 0, false, true, out);
    CloseElement(kLink, out);
    return resume - runStart;
}

} // namespace rtfhtml
