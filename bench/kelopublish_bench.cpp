// kelopublish_bench.exe LIBRARY SERVER LOGIN PASSWORD CAPTURE UPLOAD_BODY
// One post of CAPTURE through the publishing library's export, timed, with
// the growth of this process's memory during the call. Before the call it
// writes UPLOAD_BODY: the upload request the library sends (the same method
// call, made by the same writer), for curl to send for comparison. Prints
// one JSON line.
//
// A small post first loads WinHTTP and the rest, so the figures are those of
// the upload itself.

#include "kelopublish/addresses.h"
#include "kelopublish/xmlrpc.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

// The exports as the component calls them.
using PublishToBlogNoGUIFunction = int(__stdcall*)(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                                    const wchar_t* imagePath, const wchar_t* login,
                                                    const wchar_t* password, const wchar_t* blogId,
                                                    const wchar_t* title, const wchar_t* htmlBody, int draft,
                                                    const wchar_t* blogAddress);

std::string Utf8(const wchar_t* text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
    return out;
}

bool WriteUploadBody(const wchar_t* capture, const wchar_t* out, const wchar_t* login, const wchar_t* password) {
    FILE* in = _wfopen(capture, L"rb");
    if (!in) return false;
    _fseeki64(in, 0, SEEK_END);
    const uint64_t size = static_cast<uint64_t>(_ftelli64(in));
    _fseeki64(in, 0, SEEK_SET);
    const std::u16string path(reinterpret_cast<const char16_t*>(capture));
    kelo::xmlrpc::Request call("metaWeblog.newMediaObject");
    call.String("1").String(Utf8(login)).String(Utf8(password));
    call.BeginStruct().Member("name").String(kelo::UniqueMediaName(std::chrono::system_clock::now(), kelo::FileExtension(path)));
    call.Member("type").String(kelo::MimeTypeFor(path)).Member("bits");
    call.Base64(std::make_unique<kelo::xmlrpc::FileSource>(in), size).EndStruct();
    if (!call.Finish()) return false;
    FILE* body = _wfopen(out, L"wb");
    if (!body) return false;
    std::string chunk(1 << 16, '\0');
    size_t got = 0;
    bool ok = true;
    while ((ok = call.Read(chunk.data(), chunk.size(), got)) && got > 0) fwrite(chunk.data(), 1, got, body);
    fclose(body);
    return ok;
}

PROCESS_MEMORY_COUNTERS_EX Memory() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters);
    return counters;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 7) {
        fwprintf(stderr, L"usage: kelopublish_bench LIBRARY SERVER LOGIN PASSWORD CAPTURE UPLOAD_BODY\n");
        return 2;
    }
    const wchar_t *server = argv[2], *login = argv[3], *password = argv[4], *capture = argv[5];
    if (!WriteUploadBody(capture, argv[6], login, password)) {
        fwprintf(stderr, L"kelopublish_bench: cannot write the upload body\n");
        return 1;
    }
    HMODULE library = ::LoadLibraryW(argv[1]);
    if (!library) return 1;
    auto publish = reinterpret_cast<PublishToBlogNoGUIFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(library, "PublishToBlogNoGUI")));
    if (!publish) return 1;
    const wchar_t* body = L"<a href=\"%s\"><img src = \"%s\" /></a><p>Benchmark</p>";

    // The warm-up: a capture of a few bytes.
    wchar_t small[MAX_PATH];
    wcscpy(small, argv[6]);
    wcscat(small, L".png");
    if (FILE* f = _wfopen(small, L"wb")) {
        fwrite("\x89PNG\r\n\x1a\n", 1, 8, f);
        fclose(f);
    }
    if (publish(2, server, L"/xmlrpc.php", small, login, password, L"1", L"warm-up", body, 1, L"") != 0) return 1;
    _wremove(small);

    const PROCESS_MEMORY_COUNTERS_EX before = Memory();
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    const int result = publish(2, server, L"/xmlrpc.php", capture, login, password, L"1", L"Benchmark", body, 0, L"");
    ::QueryPerformanceCounter(&end);
    const PROCESS_MEMORY_COUNTERS_EX after = Memory();
    const double seconds = static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
    const auto growth = [](SIZE_T peakAfter, SIZE_T nowBefore) {
        return peakAfter > nowBefore ? static_cast<double>(peakAfter - nowBefore) / (1024.0 * 1024.0) : 0.0;
    };
    // The peak working set: Wine reports no private bytes (PagefileUsage is 0).
    printf("{\"result\":%d,\"seconds\":%.3f,\"workingSetGrowthMiB\":%.2f,\"workingSetBeforeMiB\":%.2f}\n", result,
           seconds, growth(after.PeakWorkingSetSize, before.WorkingSetSize),
           static_cast<double>(before.WorkingSetSize) / 1048576.0);
    ::FreeLibrary(library);
    return result;
}
