#pragma once
// Generated RTF bodies that look like what the editor's rich edit control
// streams out: the control's header, paragraphs of text with bold, italic,
// underline, size changes, links in the editor's encoding and escaped
// accented letters, and optionally one large picture group.

#include <cstddef>
#include <string>

namespace bench {

// About `textBytes` bytes of body text plus, when `pictureBytes` is not 0, a
// {\pict ...} group of that many bytes of hex in the middle.
std::string EditorBody(size_t textBytes, size_t pictureBytes);

} // namespace bench
