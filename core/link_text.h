#pragma once
// The text side of the editor's links and sizes, kept free of Win32 so that it
// builds and is tested natively: the text size table, the address a link gets
// from what the user typed into the link dialog, and the RTF that inserts a
// link into the body.
//
// A link in the body is the visible text (shadow and link effects on) followed
// directly by hidden text: "#", a double quote, the address, a double quote.
// The RTF reader of rtfhtml/ finds links by that shape.

#include "core/text.h"

#include <optional>
#include <string>

namespace core {

// Character heights in twips offered by the editor's text size box, by index.
inline constexpr int kTextSizeCount = 7;
inline constexpr int kTextSizeTwips[kTextSizeCount] = {170, 200, 240, 280, 360, 480, 720};
inline constexpr int kDefaultTextSizeTwips = 200;

// Height of size box entry `index`; the default 10 points when the box has no
// valid selection (CB_ERR) or the index is out of the table.
int TextSizeHeight(int index);
// Index of `twips` in the table, or nothing for a height the box does not offer.
std::optional<int> TextSizeIndex(int twips);

// What the user chose in the link dialog after OK.
struct LinkChoice {
    bool isUrl = true;
    String displayText;
    String address;       // URL type
    String emailAddress;  // e-mail type
    String subject;       // e-mail type, optional
};

// "http://" in front of an address that names none of the schemes http, ftp,
// https or ftps anywhere in it (case-sensitive); an empty address stays empty.
String NormalizeUrl(StringView address);

// The part of a selected text before its first "#": a selection that reaches
// into a link's hidden address proposes only the visible part.
String VisiblePart(StringView selected);

// The address a link gets: the normalised URL, or "mailto:" plus the e-mail
// address with "?subject=" and the subject when there is one. Nothing when the
// display text or the address of the chosen type is empty (no link is made).
// A double quote becomes "%22": a bare one would end the hidden address early.
std::optional<String> LinkAddress(const LinkChoice& choice);

// Text as RTF body text: "\", "{" and "}" escaped, and every character outside
// printable ASCII written as "\uN?" (N the signed 16-bit code unit), so the
// result is plain ASCII whatever the code page and reads back exactly.
std::string EscapeRtfText(StringView text);

// The RTF that replaces the selection with a link: the visible text, then
// the hidden "#" + quote + address + quote. Both parts are escaped.
std::string ComposeLinkRtf(StringView displayText, StringView address);

// Length in code units of the hidden part that follows the visible text.
inline size_t HiddenLinkLength(StringView address) { return address.size() + 3; }

} // namespace core
