#pragma once
// Owners for Win32 handles: one move-only template, one line per handle kind.
// A borrowed handle stays a plain handle; only these types destroy anything.

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace fw {

template <typename T, typename Traits>
class Unique {
public:
    Unique() = default;
    explicit Unique(T handle) : handle_(handle) {}
    Unique(Unique&& other) noexcept : handle_(other.release()) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { reset(); }

    T get() const { return handle_; }
    explicit operator bool() const { return handle_ != Traits::Invalid(); }

    // Destroys the current handle (if any) and takes `handle`.
    void reset(T handle = Traits::Invalid()) {
        if (handle_ != Traits::Invalid()) Traits::Close(handle_);
        handle_ = handle;
    }
    // Gives the handle up without destroying it.
    T release() {
        T handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }
    // For out-parameters: destroys the current handle first.
    T* put() {
        reset();
        return &handle_;
    }

private:
    T handle_ = Traits::Invalid();
};

struct IconTraits {
    static HICON Invalid() { return nullptr; }
    static void Close(HICON h) { ::DestroyIcon(h); }
};
struct ModuleTraits {
    static HMODULE Invalid() { return nullptr; }
    static void Close(HMODULE h) { ::FreeLibrary(h); }
};
struct FileTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct KernelHandleTraits {
    static HANDLE Invalid() { return nullptr; }
    static void Close(HANDLE h) { ::CloseHandle(h); }
};
template <typename T>
struct GdiTraits {
    static T Invalid() { return nullptr; }
    static void Close(T h) { ::DeleteObject(h); }
};
struct DcTraits {
    static HDC Invalid() { return nullptr; }
    static void Close(HDC h) { ::DeleteDC(h); }
};
struct BstrTraits {
    static BSTR Invalid() { return nullptr; }
    static void Close(BSTR s) { ::SysFreeString(s); }
};
struct WindowTraits {
    static HWND Invalid() { return nullptr; }
    static void Close(HWND h) { ::DestroyWindow(h); }
};

using UniqueIcon = Unique<HICON, IconTraits>;
using UniqueModule = Unique<HMODULE, ModuleTraits>;
using UniqueFile = Unique<HANDLE, FileTraits>;          // CreateFile: invalid is INVALID_HANDLE_VALUE
using UniqueHandle = Unique<HANDLE, KernelHandleTraits>; // events, processes: invalid is null
template <typename T>
using UniqueGdi = Unique<T, GdiTraits<T>>;              // HBITMAP, HFONT, HBRUSH, HPEN, HRGN
using UniqueDc = Unique<HDC, DcTraits>;                  // CreateCompatibleDC
using UniqueBstr = Unique<BSTR, BstrTraits>;
using UniqueWindow = Unique<HWND, WindowTraits>;

// A device context borrowed from a window with GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() { if (dc_) ::ReleaseDC(window_, dc_); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC for the length of a scope.
class SelectObjectScope {
public:
    SelectObjectScope(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    ~SelectObjectScope() { ::SelectObject(dc_, previous_); }
    SelectObjectScope(const SelectObjectScope&) = delete;
    SelectObjectScope& operator=(const SelectObjectScope&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace fw
