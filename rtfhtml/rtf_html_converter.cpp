#include "rtfhtml/rtf_html_converter.h"

// Placeholder until the converter lands: keeps the text after the marker.
core::String RtfHtmlConverter::TrimFinalParagraph(core::StringView rtf) {
    return core::String(rtf);
}

core::String RtfHtmlConverter::Convert(core::StringView rtf, core::StringView, bool) {
    return core::String(rtf);
}
