#include "editor_body.h"

namespace bench {

namespace {

// One paragraph of each kind the editor produces, in the control's own
// spelling (Wine's writer: \sl-240\slmult1 after every \pard, \fs16 reset
// before each \par).
const char* const kParagraphs[] = {
    ("\\pard\\sl-240\\slmult1 \\lang1033\\fs20\\f0 The capture shows the caf\\'e9 menu with its "
     "\\b bold prices\\b0  and an \\i italic remark\\i0 ; see \\shad the gallery\\v\\shad0 "
     "#\"http://example.org/gallery?id=42\"\\v0  for more.\\fs16 \\par\r\n"),
    "\\pard\\qc\\sl-240\\slmult1 \\b\\fs28 A centred heading\\b0\\fs16 \\par\r\n",
    ("\\pard\\sl-240\\slmult1 \\fs20 Plain text goes on for a while, with a \\ul few underlined words\\ulnone  "
     "and 50% of the usual <angle> & ampersand characters, na\\'efve quotes \\'93like these\\'94.\\fs16 \\par\r\n"),
    "\\pard\\qr\\sl-240\\slmult1 \\fs17 Small print on the right\\line second line\\fs16 \\par\r\n",
};

const char kHeader[] =
    "{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0\\deflang1033\\deflangfe1033{\\fonttbl{\\f0 MS Shell Dlg;}}\r\n"
    "{\\colortbl;}\r\n"
    "{\\*\\generator Wine Riched20 2.0;}\r\n";

void AppendPicture(std::string& out, size_t bytes) {
    out += "\\pard\\sl-240\\slmult1 {\\pict\\wmetafile8\\picw12000\\pich9000\\picwgoal6800\\pichgoal5100 \r\n";
    static const char kHex[] = "0123456789abcdef";
    unsigned state = 12345;
    size_t line = 0;
    for (size_t k = 0; k < bytes; ++k) {
        state = state * 1103515245u + 12345u;
        out += kHex[(state >> 16) & 15];
        if (++line == 128) {
            out += "\r\n";
            line = 0;
        }
    }
    out += "}\\par\r\n";
}

} // namespace

std::string EditorBody(size_t textBytes, size_t pictureBytes) {
    std::string out = kHeader;
    out.reserve(textBytes + pictureBytes + pictureBytes / 64 + 1024);
    size_t half = textBytes / 2;
    bool pictureDone = pictureBytes == 0;
    for (size_t k = 0; out.size() < textBytes + (pictureDone ? pictureBytes : 0); ++k) {
        out += kParagraphs[k % std::size(kParagraphs)];
        if (!pictureDone && out.size() >= half) {
            AppendPicture(out, pictureBytes);
            pictureDone = true;
        }
    }
    out += "}";
    out += '\0';  // the control ends its stream with a NUL
    return out;
}

} // namespace bench
