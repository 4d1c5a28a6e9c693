#include "publishing/publish_library.h"

#include "framework/strings.h"
#include "framework/wide.h"
#include "resources/resource.h"

HMODULE publishLibrary = nullptr;

bool LoadPublishLibrary(const core::String& path) {
    ReleasePublishLibrary();
    publishLibrary = ::LoadLibraryW(fw::W(path));
    return publishLibrary != nullptr;
}

void ReleasePublishLibrary() {
    if (publishLibrary) ::FreeLibrary(publishLibrary);
    publishLibrary = nullptr;
}

FARPROC FindPublishExport(const char* name) {
    FARPROC function = publishLibrary ? ::GetProcAddress(publishLibrary, name) : nullptr;
    if (!function) fw::ShowMessage(publishLibrary ? IDS_EXPORT_MISSING : IDS_LOAD_LIBRARY_FAILED);
    return function;
}
