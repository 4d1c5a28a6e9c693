#pragma once
// Turns the RTF that the editor's rich edit control streams out into the HTML
// body of a post. One object per conversion.
//
// The reading side (rtf_html_converter.cpp) decides what the RTF means and
// calls the writing side (html_writer.cpp), which alone decides which HTML
// tags come out. It is a reader for this editor's RTF, not a general one:
// groups are dropped whole, a short list of control words is acted upon and
// every other control word is dropped. Text is UTF-16 throughout; positions
// and lengths count UTF-16 code units.

#include "core/codepage.h"
#include "core/text.h"
#include "rtfhtml/forward_search.h"

#include <cstddef>
#include <vector>

namespace rtfhtml {

class RtfHtmlConverter {
public:
    using String = core::String;
    using StringView = core::StringView;

    // `codePage` decodes byte escapes (\'hh); it must be the code page the
    // RTF bytes were decoded with. Borrowed: code pages have static storage.
    explicit RtfHtmlConverter(const core::SingleByteCodePage& codePage = core::SingleByteCodePage::Windows1252())
        : codePage_(&codePage) {}

    // Cuts the RTF at its last "\par" (starting at index 1 or later) and
    // appends "\n}", so the last paragraph gets no line break. The text is
    // cut where it is: hand it over (std::move) when it is not needed after.
    static String TrimFinalParagraph(String rtf);

    // The HTML body: everything before `startMarker` is skipped; with
    // `closeAll` set, every element still open at the end is closed. Every
    // "%" of the result is written "&#37;": the publishing library treats
    // the post as a format string. The RTF is released before the last
    // pass: hand it over (std::move) when it is not needed after.
    String Convert(String rtf, StringView startMarker, bool closeAll);

    // Drops every brace group from `start` on (nested groups with it); text
    // before `start` is kept as it is. A "{" without its "}" is dropped alone.
    static String StripGroups(StringView text, size_t start);

    // --- Writer: the formatting state and the stack of open HTML elements ---

    // The element names the converter writes.
    static constexpr StringView kParagraph = u"p";
    static constexpr StringView kLink = u"a";
    static constexpr StringView kFont = u"font";
    static constexpr StringView kBold = u"b";
    static constexpr StringView kItalic = u"i";
    static constexpr StringView kUnderline = u"u";

    String fontSize;                   // "1".."7": written into the next font tag
    String alignment;                  // "left", "center" or "right": the next paragraph tag
    std::vector<String> openElements;  // outermost first: "p", "a", "font", "b", "i", "u"

    // Each operation appends its HTML to `out`: a conversion writes into one
    // buffer.
    void OpenElement(StringView name, String& out);
    void OpenParagraph(String& out);
    void OpenLink(StringView address, String& out);
    void CloseElement(StringView name, String& out);
    void CloseAllElements(String& out);
    static String HtmlFontSize(StringView word);
    static String RemoveEmptyElements(StringView html);

    // How often one formatting element ("b", "i" or "u") may be open at once.
    // Further switches of the same kind write nothing, which bounds the stack,
    // and with it the tags each later operation closes and reopens.
    static constexpr int kMaxRepeatedFormatting = 8;

private:
    // Writes the opening tags of the elements from `first` on again and
    // drops a repeat of formatting past the limit.
    void ReopenFrom(size_t first, String& out);
    bool FormattingFull(StringView name, size_t below) const;
    void AppendOpeningTag(StringView name, String& out) const;
    // RemoveEmptyElements, also writing every "%" as "&#37;" when
    // `escapePercent` is set: Convert's last pass.
    static String RemoveEmptyElements(StringView html, bool escapePercent);

    // Appends the HTML of `text` from `start` to `out`; the groups from
    // there on must already be dropped (StripGroups).
    void ConvertRun(StringView text, size_t start, bool closeAll, bool insideLink, String& out);
    void ApplyControlWords(StringView run, String& out);
    // Appends the link that starts at `runStart` of the outer run's text and
    // returns the number of characters it took; 0 (and no HTML) when it is
    // no link.
    size_t ReadLink(StringView text, size_t runStart, String& out);

    // Escapes that stand for one character (or none) wherever they occur.
    // Returns how many characters of `text` at `pos` the escape takes, 0 when
    // there is none; appends what it stands for to `out`, HTML-escaped when
    // `forHtml` is set. With `out` null it only tells whether one starts there.
    size_t ReadEscape(StringView text, size_t pos, String* out, bool forHtml) const;
    size_t SkipUnicodeFallback(StringView text, size_t pos) const;

    const core::SingleByteCodePage* codePage_;
    long unicodeFallback_ = 1;  // characters after \uN that stand in for it (\ucN)
    std::vector<StringView> words_;  // ApplyControlWords' words, kept for their room

    // ReadLink's searches over the outer text: the outer scan only moves
    // forward, so together they read the text once.
    ForwardSearch hiddenSwitch_{u"\\v"};
    ForwardSearch quote_{u"\""};
};

} // namespace rtfhtml

using rtfhtml::RtfHtmlConverter;
