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
struct BstrTraits {
    static BSTR Invalid() { return nullptr; }
    static void Close(BSTR s) { ::SysFreeString(s); }
};
struct RegKeyTraits {
    static HKEY Invalid() { return nullptr; }
    static void Close(HKEY h) { ::RegCloseKey(h); }
};

using UniqueIcon = Unique<HICON, IconTraits>;
using UniqueModule = Unique<HMODULE, ModuleTraits>;
using UniqueFile = Unique<HANDLE, FileTraits>;          // CreateFile: invalid is INVALID_HANDLE_VALUE
using UniqueBstr = Unique<BSTR, BstrTraits>;
using UniqueRegKey = Unique<HKEY, RegKeyTraits>;        // RegCreateKeyEx, RegOpenKeyEx

// The device context of one WM_PAINT, from BeginPaint to EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    ~PaintDc() { if (dc_) ::EndPaint(window_, &paint_); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

} // namespace fw
