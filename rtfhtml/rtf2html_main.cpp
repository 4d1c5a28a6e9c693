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
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr int kUsageError = 2;

// Reads all bytes of `file` onto the end of `bytes`.
bool ReadAll(std::FILE* file, std::string& bytes) {
    char piece[1 << 16];
    for (;;) {
        size_t got = std::fread(piece, 1, sizeof piece, file);
        bytes.append(piece, got);
        if (got < sizeof piece) return !std::ferror(file);
    }
}

// Writes `html` to standard output as core::ToUtf8 would encode it, a
// piece at a time. The ASCII that is most of a body is narrowed a stretch
// at a time; a stretch outside ASCII goes through core::ToUtf8 whole, so a
// surrogate pair is never split.
bool WriteUtf8(core::StringView html) {
    std::string piece;
    for (size_t k = 0; k < html.size();) {
        size_t end = k;
        while (end < html.size() && html[end] < 0x80) ++end;
        piece.append(html.begin() + static_cast<std::ptrdiff_t>(k), html.begin() + static_cast<std::ptrdiff_t>(end));
        for (k = end; end < html.size() && html[end] >= 0x80;) ++end;
        piece += core::ToUtf8(html.substr(k, end - k));
        k = end;
        if (piece.size() >= (1 << 16) || k == html.size()) {
            if (std::fwrite(piece.data(), 1, piece.size(), stdout) != piece.size()) return false;
            piece.clear();
        }
    }
    return std::fflush(stdout) == 0;
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
        // A file's size saves growing the string step by step. (Only a
        // regular file has one: a folder opens, then fails to read.)
        std::error_code error;
        if (auto size = std::filesystem::file_size(path, error); !error) bytes.reserve(size);
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

    core::String rtf = RtfHtmlConverter::TrimFinalParagraph(codePage->Decode(bytes));
    std::string().swap(bytes);  // not needed any more: lower the peak
    const core::String html = RtfHtmlConverter(*codePage).Convert(std::move(rtf), u"\\pard", true);
    if (!WriteUtf8(html)) {
        std::fprintf(stderr, "rtf2html: cannot write standard output\n");
        return 1;
    }
    return 0;
}
