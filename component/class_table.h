#pragma once
// The component's creatable classes and their cached class factories.

#include <windows.h>
#include <objbase.h>

namespace component {

// DllGetClassObject: the cached factory of `clsid` asked for `iid`.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** result);

// Whether nothing keeps the module loaded: no live object, no server lock.
bool CanUnload();

// Runs the registry script of every class (and the type library); the
// definitions are in registration.cpp.
HRESULT RegisterServer();
HRESULT UnregisterServer();

// Releases the cached class factories (process detach).
void ReleaseClassFactories();

} // namespace component
