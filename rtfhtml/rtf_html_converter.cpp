// Reading side of RtfHtmlConverter: scans the editor's RTF and calls the
// writer (html_writer.cpp) for everything that becomes a tag.
//
// Every loop here moves forward through the text and no operation calls
// itself: a link's text is converted by one nested run, which never starts
// another link. So any input converts in time linear in its length and
// without deep recursion.

#include "rtfhtml/rtf_html_converter.h"

#include "rtfhtml/scan.h"
#include "rtfhtml/strip_groups.h"

#include <algorithm>

using core::String;
using core::StringView;
using namespace std::string_view_literals;

namespace {

constexpr size_t npos = StringView::npos;

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
    return pos + 3 < text.size() && text[pos] == u'\\' && text[pos + 1] == u'\'' &&
           HexValue(text[pos + 2]) >= 0 && HexValue(text[pos + 3]) >= 0;
}

// "\u" followed by a decimal number, optionally negative; "\ul" and "\uc1"
// are control words.
bool IsUnicodeEscape(StringView text, size_t pos) {
    if (pos + 2 >= text.size() || text[pos + 1] != u'u') return false;
    if (IsDigit(text[pos + 2])) return true;
    return text[pos + 2] == u'-' && pos + 3 < text.size() && IsDigit(text[pos + 3]);
}

// The characters that the editor's words for typographic characters stand
// for, and the line and tab words.
struct CharacterWord {
    StringView word;
    StringView html;
};
constexpr CharacterWord kCharacterWords[] = {
    {u"line", u"<br />"},
    {u"tab", u"\t"},
    {u"lquote", u"\u2018"},
    {u"rquote", u"\u2019"},
    {u"ldblquote", u"\u201C"},
    {u"rdblquote", u"\u201D"},
    {u"emdash", u"\u2014"},
    {u"endash", u"\u2013"},
    {u"bullet", u"\u2022"},
};

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

} // namespace

String RtfHtmlConverter::TrimFinalParagraph(StringView rtf) {
    String out(rtf);
    TrimFinalParagraphInPlace(out);
    return out;
}

void RtfHtmlConverter::TrimFinalParagraphInPlace(String& rtf) {
    size_t last = rtf.rfind(u"\\par"sv);
    rtf.resize(last != npos && last >= 1 ? last : 0);
    rtf += u"\n}"sv;
}

String RtfHtmlConverter::Convert(StringView rtf, StringView startMarker, bool closeAll) {
    size_t start = rtf.find(startMarker);
    if (start == npos) return {};
    // Nothing before the marker is read but the character just before it (a
    // backslash there escapes a brace at the marker).
    size_t keep = start > 0 ? start - 1 : 0;
    return ConvertTaking(String(rtf.substr(keep)), startMarker, closeAll);
}

String RtfHtmlConverter::ConvertTaking(String rtf, StringView startMarker, bool closeAll, bool groupsDropped) {
    size_t start = rtf.find(startMarker);
    if (start == npos) return {};
    if (!groupsDropped) StripGroupsInPlace(rtf, start);
    String html;
    ConvertRun(rtf, start, closeAll, false, html);
    // The percent signs are escaped because the publishing library treats the
    // post as a format string.
    RemoveEmptyElementsInPlace(html, true);
    return html;
}

String RtfHtmlConverter::StripGroups(StringView text, size_t start) {
    String out(text);
    StripGroupsInPlace(out, start);
    return out;
}

// Characters are only dropped, so the text is compacted in place.
void RtfHtmlConverter::StripGroupsInPlace(String& text, size_t start) {
    size_t write = std::min(start, text.size());
    rtfhtml::ForEachUngroupedStretch(StringView(text), start, [&](size_t from, size_t length) {
        if (from != write) std::char_traits<char16_t>::move(text.data() + write, text.data() + from, length);
        write += length;
    });
    text.resize(write);
}

void RtfHtmlConverter::AppendText(String& out, char16_t c, bool forHtml) const {
    if (forHtml) {
        switch (c) {
        case u'&': out += u"&amp;"sv; return;
        case u'<': out += u"&lt;"sv; return;
        case u'>': out += u"&gt;"sv; return;
        default: break;
        }
    }
    out += c;
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
// "\-". With `out` null this only tells whether one starts at `pos`.
size_t RtfHtmlConverter::ReadEscape(StringView text, size_t pos, String* out, bool forHtml) {
    if (pos + 1 >= text.size() || text[pos] != u'\\') return 0;
    char16_t next = text[pos + 1];
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
    alignment = u"left"sv;
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
        char16_t c = view[k];
        if (c == u'\n') {
            ++k;
            continue;
        }
        if (c == u'}') {
            AppendCloseAllElements(out);
            break;
        }
        if (c != u'\\') {
            if (c == u'&' || c == u'<' || c == u'>') {
                AppendText(out, c, true);
                ++k;
                continue;
            }
            // A stretch of plain text, copied at once.
            size_t end = rtfhtml::FindAnyOf(view, k + 1, u'\\', u'\n', u'}', u'&', u'<', u'>');
            out.append(view.substr(k, end - k));
            k = end;
            continue;
        }
        if (size_t taken = ReadEscape(view, k, &out, true)) {
            k += taken;
            continue;
        }
        // A control-word run: up to its delimiter, or up to an escape, which
        // is text and so ends the run without a delimiter.
        size_t end = k + 1;
        while (end < view.size() && !IsDelimiter(view[end]) &&
               (view[end] != u'\\' || !ReadEscape(view, end, nullptr, true))) {
            ++end;
        }
        StringView run = view.substr(k, end - k);
        if (!insideLink && run.find(u"\\shad"sv) != npos) {
            if (size_t consumed = ReadLink(view, k, out)) {
                k += consumed;
                continue;
            }
        }
        ApplyControlWords(run, out);
        k = end;
        if (k < view.size() && IsDelimiter(view[k])) ++k;
    }
    if (closeAll && !openElements.empty()) AppendCloseAllElements(out);
}

// The words of a run are the pieces between its backslashes.
static StringView NextWord(StringView run, size_t& pos) {
    size_t next = run.find(u'\\', pos + 1);
    StringView word = run.substr(pos + 1, next == npos ? npos : next - pos - 1);
    pos = next;
    return word;
}

static bool RunHasWord(StringView run, StringView wanted) {
    for (size_t pos = run.find(u'\\'); pos != npos;) {
        if (NextWord(run, pos) == wanted) return true;
    }
    return false;
}

// Dispatched on the word's first letter: this runs for every control word of
// the text, and most words (\lang1033, \sl-240, \f0 ...) mean nothing here.
void RtfHtmlConverter::ApplyControlWords(StringView run, String& out) {
    for (size_t pos = run.find(u'\\'); pos != npos;) {
        StringView word = NextWord(run, pos);
        if (word.empty()) continue;
        switch (word[0]) {
        case u'p':
            if (word == u"pard"sv) {
                size_t peek = pos;
                if (peek != npos && NextWord(run, peek) == u"par"sv) {
                    out += u"<br />"sv;
                } else {
                    alignment = RunHasWord(run, u"qc"sv)   ? u"center"sv
                                : RunHasWord(run, u"qr"sv) ? u"right"sv
                                                           : u"left"sv;
                    AppendOpenElement(u"p"sv, out);
                }
            } else if (word == u"par"sv) {
                out += u"<br />"sv;
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
                out += character->html;
            } else if (word[0] == u'b') {
                if (word.size() > 1 && word[1] == u'0') {
                    AppendCloseElement(u"b"sv, out);
                } else {
                    AppendOpenElement(u"b"sv, out);
                }
            }
            break;
        }
        case u'u':
            if (word.size() >= 2 && word[1] == u'c') {
                if (long count = WordParameter(word, 2); count >= 0) unicodeFallback_ = count;
            } else if (word == u"ul"sv) {
                AppendOpenElement(u"u"sv, out);
            } else if (word == u"ulnone"sv) {
                AppendCloseElement(u"u"sv, out);
            }
            break;
        case u'i':
            if (word.size() > 1 && word[1] == u'0') {
                AppendCloseElement(u"i"sv, out);
            } else {
                AppendOpenElement(u"i"sv, out);
            }
            break;
        case u'f':
            if (word.size() >= 2 && word[1] == u's') {
                AppendCloseElement(u"font"sv, out);
                fontSize = HtmlFontSize(word);
                AppendOpenElement(u"font"sv, out);
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
    core::ReplaceAll(linkText, u"\\shad"sv, u""sv);

    if (linkText.find(u"\\pard"sv) != npos) {
        if (linkText.find(u"\\qc"sv) != npos) {
            core::ReplaceAll(linkText, u"\\qc"sv, u""sv);
            alignment = u"center"sv;
        } else if (linkText.find(u"\\qr"sv) != npos) {
            core::ReplaceAll(linkText, u"\\qr"sv, u""sv);
            alignment = u"right"sv;
        } else {
            alignment = u"left"sv;
        }
        core::ReplaceAll(linkText, u"\\pard"sv, u""sv);
        AppendOpenElement(u"p"sv, out);
    }

    String address;
    size_t resume = hidden;
    if (hasAddress) {
        size_t close = quote_.Find(text, quote + 1);
        size_t end = close == npos ? text.size() : close;
        for (size_t k = quote + 1; k < end;) {
            if (size_t taken = ReadEscape(text.substr(0, end), k, &address, false)) {
                k += taken;
            } else {
                address += text[k++];
            }
        }
        resume = close == npos ? text.size() : close + 1;
    }

    AppendOpenLink(address, out);
    StripGroupsInPlace(linkText, 0);
    ConvertRun(linkText, 0, false, true, out);
    AppendCloseElement(u"a"sv, out);
    return resume - runStart;
}
