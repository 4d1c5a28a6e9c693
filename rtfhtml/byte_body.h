#pragma once
// rtf2html converts files of many megabytes, most of which can be a
// picture's hex. Instead of decoding every byte and then cutting, searching
// and dropping groups on the UTF-16 text, it does those steps on the bytes.

#include "core/codepage.h"
#include "core/text.h"

#include <string>

namespace rtfhtml {

// The text that Convert(TrimFinalParagraph(decoded bytes), "\\pard", ...)
// reads, decoded. The Post command's cut and its search for the marker are
// made on the bytes, and so is the dropping of groups after the marker,
// which the conversion would make anyway (dropping them twice changes
// nothing): braces, backslashes and the letters of "\\par" are ASCII, one
// byte each in every code page we carry, so byte positions are character
// positions. A picture's megabytes of hex are thus skipped as bytes and
// never decoded. The text starts one character before the marker (a
// backslash there escapes a brace at the marker); it is empty when there is
// no marker. `bytes` is cut in place.
//
// The result goes to RtfHtmlConverter::ConvertTaking(text, "\\pard",
// closeAll, true) and gives the same HTML as
// Convert(TrimFinalParagraph(decoded bytes), "\\pard", closeAll).
core::String DecodeTrimmedBody(std::string& bytes, const core::SingleByteCodePage& codePage);

} // namespace rtfhtml
