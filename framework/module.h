#pragma once
// The component's own module: the source of its strings, icons, dialogs and
// windows, whatever process loaded it.

#include "core/text.h"

#include <windows.h>

namespace fw {

// The module this code is linked into (the DLL, or a test program that links
// the component's resources itself).
HINSTANCE ThisModule();

// Where resources are loaded from on this thread: ThisModule() unless a
// ResourceScope says otherwise.
HINSTANCE ResourceModule();

// Makes the component's own module the resource source for the length of an
// entry point the host calls; restores the previous source on exit.
class ResourceScope {
public:
    ResourceScope();
    ~ResourceScope();
    ResourceScope(const ResourceScope&) = delete;
    ResourceScope& operator=(const ResourceScope&) = delete;

private:
    HINSTANCE previous_;
};

// Locks that keep the component loaded: one per live COM object, one per
// IClassFactory::LockServer(TRUE), and one per live window of a FrameWindow
// (its window procedure and timers are our code). DllCanUnloadNow answers
// S_OK only at zero.
class ModuleLock {
public:
    static void Add() { ::InterlockedIncrement(&count_); }
    static void Release() { ::InterlockedDecrement(&count_); }
    static LONG Count() { return count_; }

private:
    static inline volatile LONG count_ = 0;
};

// An export of `module` as a typed function pointer; null when missing.
// (The detour through void* keeps -Wcast-function-type quiet: FARPROC is a
// placeholder type, never the real signature.)
template <class Function>
Function ProcAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// Full path of ThisModule().
core::String ModulePath();

// The application name: the module's file name without folder and extension
// ("Velluma" for Velluma.dll). Message boxes carry it as their caption.
core::String AppName();

} // namespace fw
