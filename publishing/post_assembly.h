#pragma once
// A post's HTML: the editor's RTF converted, with the image tag placed as
// the image toolbar says; and the developer aid that writes both texts to a
// fixed folder.

#include "core/text.h"

#include <string>

namespace publishing {

// Where the image goes, as the editor's four image buttons say.
enum class ImageAlign { Left, Right, Top, Bottom };

// The size text of the image tag ("height="240" width="320""), empty when
// the file cannot be read as an image. Wider than 320 pixels is scaled down
// to 320 keeping the proportions.
core::String ImageSizeText(const core::String& imagePath);

// The image tag around `sizeText`, before the body or (Bottom) after it.
core::String WithImageTag(const core::String& body, const core::String& sizeText, ImageAlign align);

struct AssembledPost {
    core::String rtfText;   // the streamed RTF as UTF-16, its final paragraph trimmed
    core::String htmlBody;  // converted, with the image tag
};

// `rtfBytes`: the body as the rich edit control streams it out (the thread's
// ANSI code page).
AssembledPost AssemblePost(const std::string& rtfBytes, const core::String& imagePath, ImageAlign align);

// The folder the developer aid writes to.
extern const char16_t kDebugFolder[];

// When kDebugFolder exists, writes the RTF (as streamed) to "rtf.rtf" and the
// HTML (UTF-8) to "html.htm" in it, each created or overwritten, and returns
// true: the caller then asks before sending. A file that cannot be written
// is skipped. False, writing nothing, when there is no such folder.
bool DumpDebugFiles(const std::string& rtfBytes, const core::String& htmlBody);

} // namespace publishing
