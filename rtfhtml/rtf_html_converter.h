#pragma once
// Turns the RTF that the editor's rich edit control streams out into the HTML
// body of a post. One object per conversion.
//
// The reading side (rtf_html_converter.cpp) decides what the RTF means and
// calls the writing side (html_writer.cpp), which alone decides which bytes
// of HTML come out. It is a reader for this editor's RTF, not a general one:
// groups are dropped whole, a short list of control words is acted upon and
// every other control word is dropped.

#include "core/codepage.h"
#include "core/text.h"
#include "rtfhtml/forward_search.h"

#include <cstddef>
#include <vector>

class RtfHtmlConverter {
public:
    // `codePage` decodes byte escapes (\'hh); it must be the code page the
    // RTF bytes were decoded with. Borrowed: code pages have static storage.
    explicit RtfHtmlConverter(const core::SingleByteCodePage& codePage = core::SingleByteCodePage::Windows1252())
        : codePage_(&codePage) {}

    // Cuts the RTF at its last "\par" (starting at index 1 or later) and
    // appends "\n}", so the last paragraph gets no line break.
    static core::String TrimFinalParagraph(core::StringView rtf);
    static void TrimFinalParagraphInPlace(core::String& rtf);

    // The HTML body: everything before `startMarker` is skipped; with
    // `closeAll` set, every element still open at the end is closed.
    core::String Convert(core::StringView rtf, core::StringView startMarker, bool closeAll);
    // The same, taking the text over: it is worked on in place, which keeps
    // the peak memory of large conversions low (rtf2html). With
    // `groupsDropped` the caller has already applied StripGroups from the
    // marker on (rtf2html does so on the bytes), and it is not done again.
    core::String ConvertTaking(core::String rtf, core::StringView startMarker, bool closeAll,
                               bool groupsDropped = false);

    // Drops every brace group from `start` on (nested groups with it); text
    // before `start` is kept as it is. A "{" without its "}" is dropped alone.
    static core::String StripGroups(core::StringView text, size_t start);
    static void StripGroupsInPlace(core::String& text, size_t start);

    // --- Writer: the formatting state and the stack of open HTML elements ---

    core::String fontSize;                   // "1".."7": written into the next font tag
    core::String alignment;                  // "left", "center" or "right": the next paragraph tag
    std::vector<core::String> openElements;  // outermost first: "p", "a", "font", "b", "i", "u"

    core::String OpenElement(core::StringView name);
    core::String OpenParagraph();
    core::String OpenLink(core::StringView address);
    core::String CloseElement(core::StringView name);
    core::String CloseAllElements();
    static core::String HtmlFontSize(core::StringView word);
    static core::String RemoveEmptyElements(core::StringView html);
    // In place; with `escapePercent` every "%" becomes "&#37;" as well.
    static void RemoveEmptyElementsInPlace(core::String& html, bool escapePercent);

    // How often one formatting element ("b", "i" or "u") may be open at once.
    // Further switches of the same kind write nothing, which bounds the stack,
    // and with it the tags each later operation closes and reopens.
    static constexpr int kMaxRepeatedFormatting = 8;

private:
    // The writer operations, appending to `out` instead of returning a string.
    void AppendOpenElement(core::StringView name, core::String& out);
    void AppendOpenParagraph(core::String& out);
    void AppendOpenLink(core::StringView address, core::String& out);
    void AppendCloseElement(core::StringView name, core::String& out);
    void AppendCloseAllElements(core::String& out);
    void AppendOpeningTag(core::StringView name, core::String& out) const;
    bool FormattingFull(core::StringView name, size_t below) const;
    void ReopenFrom(size_t first, core::String& out);

    // Appends the HTML of `text` from `start` to `out`.
    // Groups must have been dropped from `text` (StripGroups) from `start` on.
    void ConvertRun(core::StringView text, size_t start, bool closeAll, bool insideLink, core::String& out);
    void ApplyControlWords(core::StringView run, core::String& out);
    // Appends the link that starts at `runStart` and returns the number of
    // characters it consumed; 0 (and nothing appended) when it is no link.
    size_t ReadLink(core::StringView text, size_t runStart, core::String& out);

    // Escapes that stand for one character (or none) wherever they occur.
    // Returns how many characters of `text` at `pos` the escape takes, 0 when
    // there is none; appends what it stands for to `out`, HTML-escaped when
    // `forHtml` is set.
    size_t ReadEscape(core::StringView text, size_t pos, core::String* out, bool forHtml);
    void AppendText(core::String& out, char16_t c, bool forHtml) const;
    size_t SkipUnicodeFallback(core::StringView text, size_t pos) const;

    const core::SingleByteCodePage* codePage_;
    long unicodeFallback_ = 1;  // characters after \uN that stand in for it (\ucN)

    // ReadLink's searches over the outer text: the outer scan only moves
    // forward, so together they read the text once.
    rtfhtml::ForwardSearch hiddenSwitch_{u"\\v"};
    rtfhtml::ForwardSearch quote_{u"\""};
};
