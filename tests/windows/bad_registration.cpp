// A Velluma.dll whose registration fails halfway, for the installer's
// rollback test: DllRegisterServer writes one key and then reports failure,
// as a real registration that breaks after its first script would.
// DllUnregisterServer removes that key again.

#include <windows.h>

namespace {
const wchar_t kProbeKey[] = L"Velluma.RegistrationProbe";
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllRegisterServer() {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, kProbeKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS)
        ::RegCloseKey(key);
    return E_FAIL;
}

extern "C" __declspec(dllexport) HRESULT __stdcall DllUnregisterServer() {
    const LONG status = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProbeKey);
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}
