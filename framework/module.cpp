#include "framework/module.h"

#include "framework/wide.h"

#include <vector>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace fw {

namespace {
thread_local HINSTANCE tResourceModule = nullptr;
}

HINSTANCE ThisModule() {
    // The linker's own symbol: right in a DLL and in an EXE, with no global
    // to initialise in DllMain.
    return reinterpret_cast<HINSTANCE>(&__ImageBase);
}

HINSTANCE ResourceModule() {
    return tResourceModule ? tResourceModule : ThisModule();
}

ResourceScope::ResourceScope() : previous_(tResourceModule) {
    tResourceModule = ThisModule();
}

ResourceScope::~ResourceScope() {
    tResourceModule = previous_;
}

core::String ModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(ThisModule(), buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) return FromWide(buffer.data(), n);
        buffer.resize(buffer.size() * 2);
    }
}

core::String AppName() {
    core::String path = ModulePath();
    size_t slash = path.find_last_of(u"\\/");
    core::String name = slash == core::String::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind(u'.');
    if (dot != core::String::npos) name.resize(dot);
    return name;
}

} // namespace fw
