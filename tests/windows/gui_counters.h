#pragma once
// Counts of this process's GUI objects for the leak tests. Wine answers
// GetGuiResources with 0, so there the GDI count comes from the process's
// GDI handle table and the USER count from the calling thread's windows.

#include <windows.h>

namespace guicount {

// GDI objects of this process. Under Wine: the live entries of the GDI
// handle table the PEB points at (GdiSharedHandleTable; Wine keeps one per
// process, laid out like the system's: 24-byte entries with the object type
// at byte 14, zero when free). 0 when neither way can count.
inline DWORD GdiObjects() {
    if (DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return n;
    const BYTE* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb));  // TEB.ProcessEnvironmentBlock
    auto* table = *reinterpret_cast<const BYTE* const*>(peb + 0xF8);  // GdiSharedHandleTable
    if (!table) return 0;
    DWORD live = 0;
    for (size_t i = 0; i < 0x10000; ++i) {
        if (table[i * 24 + 14] != 0) ++live;
    }
    return live;
}

// Device contexts among GdiObjects() under Wine (object type 1); 0 where
// GetGuiResources counts, which does not say.
inline DWORD GdiDcs() {
    if (::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return 0;
    const BYTE* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb));
    auto* table = *reinterpret_cast<const BYTE* const*>(peb + 0xF8);
    if (!table) return 0;
    DWORD dcs = 0;
    for (size_t i = 0; i < 0x10000; ++i) {
        if (table[i * 24 + 14] == 1) ++dcs;
    }
    return dcs;
}

// USER objects of this process; under Wine, the calling thread's top-level
// windows (the tests run their windows on the thread that counts).
inline DWORD UserObjects() {
    if (DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_USEROBJECTS)) return n;
    DWORD windows = 0;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(), [](HWND, LPARAM param) -> BOOL { ++*reinterpret_cast<DWORD*>(param); return TRUE; },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

} // namespace guicount
