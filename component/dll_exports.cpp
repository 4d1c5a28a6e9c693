// The four exports of the in-process server.

#include "component/class_table.h"
#include "framework/module.h"

#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved);
void ReleasePublishLibrary();

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH) {
        // At process exit (reserved non-null) other DLLs may already be gone:
        // touch nothing then.
        if (!reserved) {
            ReleasePublishLibrary();
            component::ReleaseClassFactories();
        }
    }
    return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** result) {
    return component::GetClassObject(clsid, iid, result);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
    fw::ResourceScope resources;
    return component::CanUnload() ? S_OK : S_FALSE;
}

extern "C" HRESULT __stdcall DllRegisterServer() {
    return component::RegisterServer();
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
    return component::UnregisterServer();
}
