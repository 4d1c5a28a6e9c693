// rtf2html [--codepage N] [FILE]
//
// Converts RTF as the editor's Post command does: the bytes are decoded
// through a single-byte ANSI code page (1252 unless --codepage says
// otherwise), cut by TrimFinalParagraph and converted from the first "\pard"
// with every element closed at the end. The HTML goes to standard output as
// UTF-8. Any bytes at all are converted; only an unreadable file fails.

#include "core/codepage.h"
#include "rtfhtml/rtf_html_converter.h"
#include "rtfhtml/byte_body.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#ifdef __linux__
#include <new>
#include <sys/mman.h>

// The tool's few large buffers (the bytes read, the decoded RTF, the HTML)
// are each written once from start to end. Fresh memory costs a page fault
// per page, and on the machines we measured a fault (and the zeroing of a
// page) was most of the tool's run time: huge pages cut the faults, and the
// block of the bytes read, freed once they are decoded, is handed out again
// for the HTML, whose pages are then already there. Small blocks keep the
// ordinary allocator.
namespace {
constexpr size_t kHugePage = size_t{1} << 21;
// Below this the few pages saved are not worth rounding the block up to whole
// huge pages (that would raise the peak memory of small inputs).
constexpr size_t kHugeBlock = size_t{4} << 20;

// The huge blocks handed out (there are only a few at a time) and at most one
// freed block kept for the next large request. Single-threaded tool.
struct HugeBlock {
    void* block = nullptr;
    size_t size = 0;
};
HugeBlock liveBlocks[8];
HugeBlock spareBlock;

void* NewHugeBlock(size_t size) {
    size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
    HugeBlock handed;
    if (spareBlock.block && spareBlock.size >= rounded) {
        handed = spareBlock;
        spareBlock = {};
    } else if (void* block = std::aligned_alloc(kHugePage, rounded)) {
        madvise(block, rounded, MADV_HUGEPAGE);  // a hint: failure changes nothing
        handed = {block, rounded};
    } else {
        return nullptr;
    }
    for (auto& live : liveBlocks) {
        if (!live.block) {
            live = handed;
            break;
        }
    }
    return handed.block;  // a block not registered is simply freed on delete
}

void DeleteBlock(void* block) {
    if (!block) return;
    for (auto& live : liveBlocks) {
        if (live.block == block) {
            HugeBlock freed = live;
            live = {};
            if (!spareBlock.block) {
                spareBlock = freed;
                return;
            }
            break;
        }
    }
    std::free(block);
}
} // namespace

void* operator new(size_t size) {
    void* block = size >= kHugeBlock ? NewHugeBlock(size) : std::malloc(size > 0 ? size : 1);
    if (!block) throw std::bad_alloc();
    return block;
}

void operator delete(void* block) noexcept {
    DeleteBlock(block);
}

void operator delete(void* block, size_t) noexcept {
    DeleteBlock(block);
}
#endif

namespace {

constexpr int kUsageError = 2;

// Reads all bytes of `file` onto the end of `bytes`, through a small buffer:
// growing `bytes` first would zero-fill megabytes only to overwrite them.
bool ReadAll(std::FILE* file, std::string& bytes) {
    constexpr size_t kPiece = 1 << 16;
    static char piece[kPiece];
    for (;;) {
        size_t got = std::fread(piece, 1, kPiece, file);
        bytes.append(piece, got);
        if (got < kPiece) return !std::ferror(file);
    }
}

// Encodes through a fixed buffer, so no UTF-8 copy of the whole HTML is ever
// held. A surrogate pair becomes one character; a lone surrogate becomes
// U+FFFD (as core::ToUtf8 does).
bool WriteUtf8(core::StringView html, std::FILE* out) {
    constexpr size_t kBuffer = 1 << 16;
    char buffer[kBuffer + 8];
    size_t used = 0;
    const char16_t* p = html.data();
    const char16_t* const end = p + html.size();
    while (p < end) {
        if (used >= kBuffer) {
            if (std::fwrite(buffer, 1, used, out) != used) return false;
            used = 0;
        }
        // Plain ASCII is the bulk of the HTML: copy it without branching per
        // character.
        size_t room = std::min<size_t>(kBuffer - used, static_cast<size_t>(end - p));
        size_t n = 0;
#if defined(__SSE2__)
        for (; n + 8 <= room; n += 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n));
            // Any unit of 0x80 or more has a bit set outside the low seven.
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, _mm_set1_epi16(static_cast<short>(0xFF80))),
                                                  _mm_setzero_si128())) != 0xFFFF) {
                break;
            }
            _mm_storel_epi64(reinterpret_cast<__m128i*>(buffer + used + n), _mm_packus_epi16(units, units));
        }
#endif
        while (n < room && p[n] < 0x80) {
            buffer[used + n] = static_cast<char>(p[n]);
            ++n;
        }
        used += n;
        p += n;
        if (n == room) continue;
        char32_t c = *p++;
        if (c >= 0xD800 && c <= 0xDBFF && p < end && *p >= 0xDC00 && *p <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        char* o = buffer + used;
        if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        } else {
            *o++ = static_cast<char>(0xF0 | (c >> 18));
            *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
        used = static_cast<size_t>(o - buffer);
    }
    if (used > 0 && std::fwrite(buffer, 1, used, out) != used) return false;
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
            // Room for the "\n}" that the cut appends and for the last read.
            // On Linux also as much as the HTML reserves (twice the text in
            // UTF-16), so that the block can be reused for it (see operator
            // new above); room never written to costs no memory there.
#ifdef __linux__
            constexpr size_t kRoomFactor = 4;
#else
            constexpr size_t kRoomFactor = 1;
#endif
            if (size > 0) bytes.reserve(kRoomFactor * static_cast<size_t>(size) + (1 << 16) + 2);
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

    core::String rtf = rtfhtml::DecodeTrimmedBody(bytes, *codePage);
    std::string().swap(bytes);  // the bytes are not needed any more: lower the peak
    core::String html = RtfHtmlConverter(*codePage).ConvertTaking(std::move(rtf), u"\\pard", true, true);
    if (!WriteUtf8(html, stdout)) {
        std::fprintf(stderr, "rtf2html: cannot write standard output\n");
        return 1;
    }
    return 0;
}
