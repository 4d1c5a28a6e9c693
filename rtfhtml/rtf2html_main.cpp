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
#include <span>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#ifdef __linux__
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

// The tool's few large buffers (the decoded RTF, the HTML, the bytes when
// they are read from a pipe) are each written once from start to end. Fresh
// memory costs a page fault per page, and on the machines we measured a fault
// (and the zeroing of a page) was a large part of the tool's run time: huge
// pages cut the faults, and a large block, once freed, is handed out again
// for the next large one, whose pages are then already there. Small blocks
// keep the ordinary allocator.
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

// The RTF bytes: a file mapped into memory where that works (no copy of
// megabytes, and pages that are never read cost nothing), else read into a
// string. The cut writes two bytes into it: a mapping is private, so the
// file does not change.
class Input {
public:
    Input() = default;
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;
    ~Input() { Release(); }

#if defined(__linux__)
    // False when the file cannot be mapped (a pipe, an empty file); then
    // Read() is the way.
    bool Map(std::FILE* file) {
        struct stat status;
        if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0) return false;
        const auto size = static_cast<size_t>(status.st_size);
        void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fileno(file), 0);
        if (mapped == MAP_FAILED) return false;
        madvise(mapped, size, MADV_SEQUENTIAL);  // a hint: failure changes nothing
        mapped_ = static_cast<char*>(mapped);
        mappedSize_ = size;
        return true;
    }
#endif

    bool Read(std::FILE* file) {
        if (std::fseek(file, 0, SEEK_END) == 0) {
            long size = std::ftell(file);
            if (size > 0) bytes_.reserve(static_cast<size_t>(size) + (1 << 16));
            std::rewind(file);
        }
        return ReadAll(file, bytes_);
    }

    std::span<char> Bytes() {
        return mapped_ ? std::span<char>(mapped_, mappedSize_) : std::span<char>(bytes_.data(), bytes_.size());
    }

    void Release() {
#if defined(__linux__)
        if (mapped_) munmap(mapped_, mappedSize_);
#endif
        mapped_ = nullptr;
        std::string().swap(bytes_);
    }

private:
    char* mapped_ = nullptr;
    size_t mappedSize_ = 0;
    std::string bytes_;
};

#if defined(__linux__)
// Writes the HTML, which comes in pieces, to standard output: most pieces
// lie in the HTML itself and are handed to the system where they are, many
// per call; only short ones (a joined surrogate pair, say, which lives on
// the caller's stack) are copied, into a buffer of our own.
class Output {
public:
    Output() { small_.reserve(kSmall); }
    // Pieces of kCopied bytes or more must stay where they are until Finish.
    void operator()(std::string_view piece) {
        if (piece.empty()) return;
        if (piece.size() < kCopied) {
            if (small_.size() + piece.size() > kSmall) Flush();
            const char* at = small_.data() + small_.size();
            small_.append(piece);  // within the reserved room: never moves
            piece = std::string_view(at, piece.size());
            if (!pieces_.empty()) {
                iovec& last = pieces_.back();
                if (static_cast<const char*>(last.iov_base) + last.iov_len == piece.data()) {
                    last.iov_len += piece.size();
                    return;
                }
            }
        }
        pieces_.push_back({const_cast<char*>(piece.data()), piece.size()});
        if (pieces_.size() == kPiecesPerCall) Flush();
    }
    bool Finish() {
        Flush();
        return ok_;
    }

private:
    static constexpr size_t kCopied = 64;
    static constexpr size_t kSmall = 1 << 16;
    static constexpr size_t kPiecesPerCall = 512;  // under every system's IOV_MAX

    void Flush() {
        for (size_t first = 0; ok_ && first < pieces_.size();) {
            ssize_t written = writev(STDOUT_FILENO, pieces_.data() + first, static_cast<int>(pieces_.size() - first));
            if (written < 0) {
                if (errno == EINTR) continue;
                ok_ = false;
                break;
            }
            // A short write: go on from where it stopped.
            auto left = static_cast<size_t>(written);
            while (first < pieces_.size() && left >= pieces_[first].iov_len) left -= pieces_[first++].iov_len;
            if (left > 0) {
                pieces_[first].iov_base = static_cast<char*>(pieces_[first].iov_base) + left;
                pieces_[first].iov_len -= left;
            }
        }
        pieces_.clear();
        small_.clear();
    }

    std::vector<iovec> pieces_;
    std::string small_;
    bool ok_ = true;
};
#else
// Writes through one large buffer of stdio's: the HTML comes in pieces.
class Output {
public:
    Output() { std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16); }
    void operator()(std::string_view piece) {
        if (ok_ && !piece.empty()) ok_ = std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
    }
    bool Finish() { return ok_ && std::fflush(stdout) == 0; }

private:
    bool ok_ = true;
};
#endif

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

    Input input;
    if (path && std::strcmp(path, "-") != 0) {
        std::FILE* file = std::fopen(path, "rb");
        if (!file) {
            std::fprintf(stderr, "rtf2html: cannot open %s: %s\n", path, std::strerror(errno));
            return 1;
        }
        bool read = false;
#if defined(__linux__)
        read = input.Map(file);
#endif
        if (!read) read = input.Read(file);
        std::fclose(file);
        if (!read) {
            std::fprintf(stderr, "rtf2html: cannot read %s\n", path);
            return 1;
        }
    } else if (!input.Read(stdin)) {
        std::fprintf(stderr, "rtf2html: cannot read standard input\n");
        return 1;
    }

    std::string text = rtfhtml::DecodeTrimmedBody(input.Bytes(), *codePage);
    input.Release();  // the bytes are not needed any more: lower the peak
    // The percent signs are escaped as the HTML is written out.
    const std::string html =
        rtfhtml::ByteRtfHtmlConverter(*codePage).ConvertTaking(std::move(text), "\\pard", true, true, false);
    Output output;
    rtfhtml::FinishHtml(html, true, output);
    if (!output.Finish()) {
        std::fprintf(stderr, "rtf2html: cannot write standard output\n");
        return 1;
    }
    return 0;
}
