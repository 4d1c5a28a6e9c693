#pragma once
// Turns the RTF that the editor's rich edit control streams out into the HTML
// body of a post. One object per conversion.
//
// The reading side (rtf_html_converter.cpp) decides what the RTF means and
// calls the writing side (html_writer.cpp), which alone decides which bytes
// of HTML come out. It is a reader for this editor's RTF, not a general one:
// groups are dropped whole, a short list of control words is acted upon and
// every other control word is dropped.
//
// The converter is written once for two kinds of text (see the aliases at
// the end): UTF-16, what the editor and every other caller hand it, and
// UTF-8 with every UTF-16 code unit encoded on its own (a surrogate takes
// three bytes, as in CESU-8), which rtf2html uses so that megabytes of RTF
// are read and written as bytes. Either way one UTF-16 code unit is one
// "character" of the text: only the few places that skip or write a
// character that is not ASCII need to know which form they work on, and both
// give the same HTML.

#include "core/codepage.h"
#include "core/text.h"
#include "rtfhtml/ascii.h"
#include "rtfhtml/forward_search.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rtfhtml {

template <typename Char>
class BasicRtfHtmlConverter {
public:
    using String = std::basic_string<Char>;
    using StringView = std::basic_string_view<Char>;

    // `codePage` decodes byte escapes (\'hh); it must be the code page the
    // RTF bytes were decoded with. Borrowed: code pages have static storage.
    explicit BasicRtfHtmlConverter(
        const core::SingleByteCodePage& codePage = core::SingleByteCodePage::Windows1252())
        : codePage_(&codePage) {}

    // Cuts the RTF at its last "\par" (starting at index 1 or later) and
    // appends "\n}", so the last paragraph gets no line break.
    static String TrimFinalParagraph(StringView rtf);
    static void TrimFinalParagraphInPlace(String& rtf);

    // The HTML body: everything before `startMarker` is skipped; with
    // `closeAll` set, every element still open at the end is closed.
    String Convert(StringView rtf, StringView startMarker, bool closeAll);
    // The same, taking the text over: it is worked on in place, which keeps
    // the peak memory of large conversions low (rtf2html). With
    // `groupsDropped` the caller has already applied StripGroups from the
    // marker on (rtf2html does so on the bytes), and it is not done again.
    // With `escapePercent` cleared the percent signs are left for the caller
    // to escape as it writes the HTML out.
    String ConvertTaking(String rtf, StringView startMarker, bool closeAll, bool groupsDropped = false,
                         bool escapePercent = true);

    // Drops every brace group from `start` on (nested groups with it); text
    // before `start` is kept as it is. A "{" without its "}" is dropped alone.
    static String StripGroups(StringView text, size_t start);
    static void StripGroupsInPlace(String& text, size_t start);

    // --- Writer: the formatting state and the stack of open HTML elements ---

    String fontSize;                   // "1".."7": written into the next font tag
    String alignment;                  // "left", "center" or "right": the next paragraph tag
    std::vector<String> openElements;  // outermost first: "p", "a", "font", "b", "i", "u"

    String OpenElement(StringView name);
    String OpenParagraph();
    String OpenLink(StringView address);
    String CloseElement(StringView name);
    String CloseAllElements();
    static String HtmlFontSize(StringView word);
    static String RemoveEmptyElements(StringView html);
    // In place; with `escapePercent` every "%" becomes "&#37;" as well.
    static void RemoveEmptyElementsInPlace(String& html, bool escapePercent);

    // How often one formatting element ("b", "i" or "u") may be open at once.
    // Further switches of the same kind write nothing, which bounds the stack,
    // and with it the tags each later operation closes and reopens.
    static constexpr int kMaxRepeatedFormatting = 8;

private:
    // The open elements as the conversion keeps them, one number per
    // element: the six names the converter writes have fixed kinds, any other
    // name a caller puts on the stack gets one of its own. `openElements` is
    // read into it and written back around every public operation.
    using Kind = unsigned;
    enum : Kind { kParagraph, kLink, kFont, kBold, kItalic, kUnderline, kFirstOther };
    std::vector<Kind> stack_;
    std::vector<String> otherNames_;  // the names of kinds kFirstOther and on
    Kind KindOf(StringView name);
    StringView NameOf(Kind kind) const;
    void LoadStack();
    void StoreStack();
    template <typename Operation>
    String OnStack(Operation operation);

    // Where the tags of the converter's own elements went as it wrote the
    // HTML (positions in the HTML), so that the removal of empty elements
    // need not search for them; see RemoveEmptyMarkedElements.
    static constexpr uint32_t kNoMark = UINT32_MAX;
    struct TagMark {
        uint32_t pos;
        uint32_t length;
        uint32_t close;  // where the first closing tag of its kind after it starts; kNoMark: none
        Kind kind;
    };
    struct TagMarks {
        std::vector<TagMark> opening;  // in order
        std::array<uint32_t, kFirstOther> waiting{kNoMark, kNoMark, kNoMark, kNoMark, kNoMark, kNoMark};
        bool valid = false;
    };
    TagMarks tagMarks_;
    bool marking_ = false;
    void MarkOpening(size_t pos, size_t length, Kind kind);
    void MarkClosing(size_t pos, Kind kind);
    // Marking stops (and the general removal runs) when text that goes into
    // a tag holds a "<" or ">": a link address, or what a caller set before
    // the conversion (a font size, names on the stack); the conversion
    // itself only writes names, sizes and alignments without them.
    void CheckTagText(StringView text);
    void RemoveEmptyMarkedElements(String& html, bool escapePercent);

    // The writer operations, on the stack above, appending to `out` instead
    // of returning a string.
    void AppendOpenElement(Kind kind, String& out);
    void AppendOpenParagraph(String& out);
    void AppendOpenLink(StringView address, String& out);
    void AppendCloseElement(Kind kind, String& out);
    void AppendCloseAllElements(String& out);
    void AppendOpeningTag(Kind kind, String& out);
    void AppendClosingTag(Kind kind, String& out);
    bool FormattingFull(Kind kind, size_t below) const;
    void ReopenFrom(size_t first, String& out);

    // Appends the HTML of `text` from `start` to `out`.
    // Groups must have been dropped from `text` (StripGroups) from `start` on.
    void ConvertRun(StringView text, size_t start, bool closeAll, bool insideLink, String& out);
    void ApplyControlWords(StringView run, String& out);
    std::vector<size_t> wordStarts_;  // where the words of the current run start (at their backslash)
    // Appends the link that starts at `runStart` and returns the number of
    // characters it consumed; 0 (and nothing appended) when it is no link.
    size_t ReadLink(StringView text, size_t runStart, String& out);

    // Escapes that stand for one character (or none) wherever they occur.
    // Returns how many characters of `text` at `pos` the escape takes, 0 when
    // there is none; appends what it stands for to `out`, HTML-escaped when
    // `forHtml` is set.
    size_t ReadEscape(StringView text, size_t pos, String* out, bool forHtml);
    void AppendText(String& out, char16_t c, bool forHtml) const;
    size_t SkipUnicodeFallback(StringView text, size_t pos) const;

    const core::SingleByteCodePage* codePage_;

protected:
    // Tests turn this off to compare the marked removal with the general one.
    bool useTagMarks_ = true;

private:
    long unicodeFallback_ = 1;  // characters after \uN that stand in for it (\ucN)

    // ReadLink's searches over the outer text: the outer scan only moves
    // forward, so together they read the text once.
    rtfhtml::ForwardSearch<Char> hiddenSwitch_{Lit<Char, "\\v">};
    rtfhtml::ForwardSearch<Char> quote_{Lit<Char, "\"">};
};

extern template class BasicRtfHtmlConverter<char16_t>;
extern template class BasicRtfHtmlConverter<char>;

// UTF-8 in which every UTF-16 code unit is encoded on its own: rtf2html's
// form. Its HTML becomes plain UTF-8 once surrogate pairs are joined (see
// Utf8WithPairsJoined in byte_body.h).
using ByteRtfHtmlConverter = BasicRtfHtmlConverter<char>;

} // namespace rtfhtml

// The converter as the component uses it: UTF-16 text.
using RtfHtmlConverter = rtfhtml::BasicRtfHtmlConverter<char16_t>;
