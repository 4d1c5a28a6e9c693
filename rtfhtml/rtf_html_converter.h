#pragma once
// Turns the RTF that the editor's rich edit control streams out into the HTML
// body of a post. One object per conversion.

#include "core/text.h"

class RtfHtmlConverter {
public:
    // Cuts the RTF at its last "\par" (starting at index 1 or later) and
    // appends "\n}", so the last paragraph gets no line break.
    static core::String TrimFinalParagraph(core::StringView rtf);

    // The HTML body: everything before `startMarker` is skipped; with
    // `closeAll` set, every element still open at the end is closed.
    core::String Convert(core::StringView rtf, core::StringView startMarker, bool closeAll);
};
