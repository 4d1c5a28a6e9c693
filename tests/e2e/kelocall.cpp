// kelocall.exe LIBRARY INPUT OUTPUT
// Loads a publishing library as the editor does and makes one call of its
// exports, for the end-to-end tests on the Linux side. INPUT holds the
// export's name and its arguments as UTF-8 fields, each ended by a NUL (so
// any text, line breaks included, passes unchanged); OUTPUT gets one JSON
// object: the result, the blog list text (GetBlogIDs), and what
// GetLastPublishError and GetLastPostLink say afterwards.
//
//   GetBlogIDs          serviceType server endpoint login password
//   PublishToBlogNoGUI  serviceType server endpoint imagePath login password blogId title htmlBody draft blogAddress

#include "tools/common/json_text.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The exports as the component calls them.
using GetBlogIDsFunction = int(__stdcall*)(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                            const wchar_t* login, const wchar_t* password, wchar_t* buffer,
                                            int capacity);
using PublishToBlogNoGUIFunction = int(__stdcall*)(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                                    const wchar_t* imagePath, const wchar_t* login,
                                                    const wchar_t* password, const wchar_t* blogId,
                                                    const wchar_t* title, const wchar_t* htmlBody, int draft,
                                                    const wchar_t* blogAddress);
using LastTextFunction = int(__stdcall*)(wchar_t* buffer, int capacity);

template <class Function>
Function Export(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

std::string LastText(HMODULE library, const char* name, int capacity = 4096) {
    auto function = Export<LastTextFunction>(library, name);
    if (!function) return "null";
    std::wstring text(static_cast<size_t>(capacity), L'\0');
    const int length = function(text.data(), capacity);
    text.resize(wcslen(text.c_str()));
    return "{\"text\":" + tools::JsonString(tools::Utf8(text)) + ",\"length\":" + std::to_string(length) + "}";
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        fwprintf(stderr, L"usage: kelocall LIBRARY INPUT OUTPUT\n");
        return 2;
    }
    std::string input;
    if (!tools::ReadWholeFile(argv[2], input)) {
        fwprintf(stderr, L"kelocall: cannot read %ls\n", argv[2]);
        return 2;
    }
    std::vector<std::wstring> fields;
    for (size_t start = 0, end; (end = input.find('\0', start)) != std::string::npos; start = end + 1)
        fields.push_back(tools::Wide(input.substr(start, end - start)));
    if (fields.empty()) return 2;

    HMODULE library = ::LoadLibraryW(argv[1]);
    if (!library) {
        fwprintf(stderr, L"kelocall: cannot load %ls (%lu)\n", argv[1], ::GetLastError());
        return 1;
    }
    const auto arg = [&](size_t i) { return fields[i].c_str(); };
    const auto number = [&](size_t i) { return static_cast<int>(std::wcstol(arg(i), nullptr, 10)); };
    std::string json;
    if (fields[0] == L"GetBlogIDs" && fields.size() == 6) {
        constexpr int kCapacity = 1048576;
        std::wstring buffer(kCapacity, L'\0');
        const int result = Export<GetBlogIDsFunction>(library, "GetBlogIDs")(number(1), arg(2), arg(3), arg(4), arg(5),
                                                                             buffer.data(), kCapacity);
        buffer.resize(wcslen(buffer.c_str()));
        json = "{\"result\":" + std::to_string(result) + ",\"reply\":" + tools::JsonString(tools::Utf8(buffer));
    } else if (fields[0] == L"PublishToBlogNoGUI" && fields.size() == 12) {
        const int result = Export<PublishToBlogNoGUIFunction>(library, "PublishToBlogNoGUI")(
            number(1), arg(2), arg(3), arg(4), arg(5), arg(6), arg(7), arg(8), arg(9), number(10), arg(11));
        json = "{\"result\":" + std::to_string(result);
    } else {
        fwprintf(stderr, L"kelocall: unknown call or wrong number of arguments\n");
        return 2;
    }
    json += ",\"error\":" + LastText(library, "GetLastPublishError") + ",\"link\":" + LastText(library, "GetLastPostLink") +
            ",\"errorCut\":" + LastText(library, "GetLastPublishError", 8) + "}\n";
    ::FreeLibrary(library);
    HANDLE out = ::CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    ::WriteFile(out, json.data(), static_cast<DWORD>(json.size()), &written, nullptr);
    ::CloseHandle(out);
    return 0;
}
