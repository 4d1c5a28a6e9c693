// The four exports of the in-process server.

#include "component/class_table.h"
#include "framework/frame_window.h"
#include "framework/module.h"

#include "publishing/blog_client.h"

#include <windows.h>

namespace {

// The application object: what the module does when it is unloaded.
class CVellumaApp {
public:
    // Frees the publishing library if an editor left it loaded, the cached
    // class factories, and the window classes our windows were made of (the
    // system keeps a DLL's classes after the DLL is gone, with a window
    // procedure pointing into nothing).
    void ExitInstance() {
        publishing::ReleasePublishLibrary();
        component::ReleaseClassFactories();
        fw::FrameWindow::UnregisterWindowClasses();
    }
};

CVellumaApp theApp;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved);

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    // When the whole process ends (reserved non-null) other DLLs may already
    // be gone, and the system reclaims everything: only an unload of this
    // DLL runs the exit step.
    if (reason == DLL_PROCESS_DETACH) {
        if (!reserved) {
            theApp.ExitInstance();
        } else {
            // Not freed at process end either, by the owner's destructor.
            publishing::publishLibrary.release();
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
