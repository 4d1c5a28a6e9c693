#pragma once
// The publishing library KeloPublish.dll: loaded by the editor from the
// accessory folder, called through two exports fetched by name just before
// each call, released after a post, on Cancel and at module end.

#include "core/text.h"

#include <windows.h>

// Module-wide handle of the loaded library; null when not loaded.
extern HMODULE publishLibrary;

// The exports, as the library defines them (x64: the one Windows calling
// convention; wide texts are NUL-terminated UTF-16, valid during the call).
using GetBlogIDsFunction = int(__stdcall*)(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                            const wchar_t* login, const wchar_t* password, wchar_t* buffer,
                                            int capacity);
using PublishToBlogNoGUIFunction = int(__stdcall*)(int serviceType, const wchar_t* server, const wchar_t* endpoint,
                                                    const wchar_t* imagePath, const wchar_t* login,
                                                    const wchar_t* password, const wchar_t* blogId,
                                                    const wchar_t* title, const wchar_t* htmlBody, int draft,
                                                    const wchar_t* blogAddress);

// LoadLibraryW into publishLibrary (a library still loaded is released first).
bool LoadPublishLibrary(const core::String& path);

// FreeLibrary on publishLibrary, which becomes null. Nothing when not loaded.
void ReleasePublishLibrary();

// An export of the loaded library, or null (with a message box naming the
// problem) when the library is not loaded or lacks it.
FARPROC FindPublishExport(const char* name);

// FindPublishExport typed as `Function`; the cast goes through the generic
// function pointer type, which the compiler accepts without a warning.
template <class Function>
Function FindPublishFunction(const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(FindPublishExport(name)));
}
