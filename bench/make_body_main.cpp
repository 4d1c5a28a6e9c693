// rtf_bench_body TEXT_BYTES [PICTURE_BYTES] > body.rtf
// Writes one generated editor body (see editor_body.h) for bench/compare.sh.

#include "editor_body.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: rtf_bench_body TEXT_BYTES [PICTURE_BYTES]\n");
        return 2;
    }
    std::string body = bench::EditorBody(std::strtoull(argv[1], nullptr, 10),
                                         argc == 3 ? std::strtoull(argv[2], nullptr, 10) : 0);
    return std::fwrite(body.data(), 1, body.size(), stdout) == body.size() ? 0 : 1;
}
