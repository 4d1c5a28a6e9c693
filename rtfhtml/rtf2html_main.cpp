// rtf2html [--codepage N] [FILE]
//
// Converts RTF as the editor's Post command does: the bytes are decoded
// through a single-byte ANSI code page (1252 unless --codepage says
// otherwise), cut by TrimFinalParagraph and converted from the first "\pard"
// with every element closed at the end. The HTML goes to standard output as
// UTF-8. Any bytes at all are converted; only an unreadable file fails.

#include "core/codepage.h"
#include "rtfhtml/rtf_html_converter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kUsageError = 2;

bool ReadAll(std::FILE* file, std::string& bytes) {
    char buffer[1 << 16];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    return !std::ferror(file);
}

// Encodes in pieces, never splitting a surrogate pair, so no UTF-8 copy of
// the whole HTML is ever held.
bool WriteUtf8(core::StringView html, std::FILE* out) {
    constexpr size_t kPiece = 1 << 16;
    for (size_t k = 0; k < html.size();) {
        size_t n = std::min(kPiece, html.size() - k);
        if (k + n < html.size() && html[k + n - 1] >= 0xD800 && html[k + n - 1] <= 0xDBFF) --n;
        std::string bytes = core::ToUtf8(html.substr(k, n));
        if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return false;
        k += n;
    }
    return std::fflush(out) == 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: rtf2html [--codepage N] [FILE]\n"
                 "Converts the RTF in FILE (or standard input) to HTML on standard output.\n"
                 "Code pages: %s (default 1252).\n",
                 core::ToUtf8(core::SingleByteCodePage::SupportedList()).c_str());
    return kUsageError;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // Bytes in, bytes out: no CR LF translation on either side.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const core::SingleByteCodePage* codePage = &core::SingleByteCodePage::Windows1252();
    const char* path = nullptr;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--codepage") == 0 && k + 1 < argc) {
            char* end = nullptr;
            unsigned long number = std::strtoul(argv[++k], &end, 10);
            codePage = *end == '\0' ? core::SingleByteCodePage::Find(static_cast<unsigned>(number)) : nullptr;
            if (!codePage) {
                std::fprintf(stderr, "rtf2html: code page %s is not supported\n", argv[k]);
                return Usage();
            }
        } else if (std::strcmp(argv[k], "--help") == 0 || (argv[k][0] == '-' && argv[k][1] != '\0') || path) {
            return Usage();
        } else {
            path = argv[k];
        }
    }

    std::string bytes;
    if (path && std::strcmp(path, "-") != 0) {
        std::FILE* file = std::fopen(path, "rb");
        if (!file) {
            std::fprintf(stderr, "rtf2html: cannot open %s: %s\n", path, std::strerror(errno));
            return 1;
        }
        if (std::fseek(file, 0, SEEK_END) == 0) {
            long size = std::ftell(file);
            if (size > 0) bytes.reserve(static_cast<size_t>(size));
            std::rewind(file);
        }
        bool read = ReadAll(file, bytes);
        std::fclose(file);
        if (!read) {
            std::fprintf(stderr, "rtf2html: cannot read %s\n", path);
            return 1;
        }
    } else if (!ReadAll(stdin, bytes)) {
        std::fprintf(stderr, "rtf2html: cannot read standard input\n");
        return 1;
    }

    // The text is handed on from stage to stage and worked on in place, so
    // the peak stays a small multiple of the input size.
    core::String rtf = codePage->Decode(bytes);
    std::string().swap(bytes);
    RtfHtmlConverter::TrimFinalParagraphInPlace(rtf);
    core::String html = RtfHtmlConverter(*codePage).ConvertTaking(std::move(rtf), u"\\pard", true);
    if (!WriteUtf8(html, stdout)) {
        std::fprintf(stderr, "rtf2html: cannot write standard output\n");
        return 1;
    }
    return 0;
}
