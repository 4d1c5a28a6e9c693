#pragma once
// Counts of this process's GUI objects for the leak tests. Wine answers
// GetGuiResources with 0, so there the GDI count comes from the process's
// GDI handle table and the USER count from the calling thread's windows.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace guicount {

namespace detail {

// Wine's per-process GDI handle table (GdiSharedHandleTable in the PEB),
// laid out like the system's: 24-byte entries, the handle's upper half at
// byte 12, the object type at byte 14 (zero when the entry is free).
inline const BYTE* WineGdiTable() {
    const BYTE* peb = nullptr;
    asm("movq %%gs:0x60, %0" : "=r"(peb));  // TEB.ProcessEnvironmentBlock
    return *reinterpret_cast<const BYTE* const*>(peb + 0xF8);
}

constexpr size_t kGdiEntries = 0x10000;
constexpr size_t kGdiEntrySize = 24;

} // namespace detail

// GDI objects of this process. Under Wine: the live entries of the GDI
// handle table the PEB points at (GdiSharedHandleTable; Wine keeps one per
// process, laid out like the system's: 24-byte entries with the object type
// at byte 14, zero when free). 0 when neither way can count.
inline DWORD GdiObjects() {
    if (DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) return n;
    const BYTE* table = detail::WineGdiTable();
    if (!table) return 0;
    DWORD live = 0;
    for (size_t i = 0; i < detail::kGdiEntries; ++i) {
        if (table[i * detail::kGdiEntrySize + 14] != 0) ++live;
    }
    return live;
}

// The live GDI handles of this process (Wine's table only; empty elsewhere):
// each entry's index and its upper half make the handle, as Wine forms it.
inline std::vector<HGDIOBJ> GdiHandles() {
    std::vector<HGDIOBJ> handles;
    const BYTE* table = detail::WineGdiTable();
    if (!table) return handles;
    for (size_t i = 0; i < detail::kGdiEntries; ++i) {
        const BYTE* entry = table + i * detail::kGdiEntrySize;
        if (entry[14] == 0) continue;
        const ULONG_PTR upper = *reinterpret_cast<const USHORT*>(entry + 12);
        handles.push_back(reinterpret_cast<HGDIOBJ>(i | (upper << 16)));
    }
    return handles;
}

// The live GDI objects by kind ("DC", "BITMAP", "REGION", ...), from
// GetObjectType on every handle of the table: what grows when a count does.
inline std::map<std::string, int> GdiObjectsByType() {
    static const char* const names[] = {"?",       "PEN",    "BRUSH",  "DC",        "METADC", "PAL",   "FONT",
                                        "BITMAP",  "REGION", "METAFILE", "MEMDC",   "EXTPEN", "ENHMETADC",
                                        "ENHMETAFILE", "COLORSPACE"};
    std::map<std::string, int> kinds;
    for (HGDIOBJ handle : GdiHandles()) {
        const DWORD type = ::GetObjectType(handle);
        ++kinds[type < sizeof names / sizeof names[0] ? names[type] : "?"];
    }
    return kinds;
}

// "BITMAP 12, DC 30, ..." for a test's message.
inline std::string Describe(const std::map<std::string, int>& kinds) {
    std::string text;
    for (const auto& [kind, count] : kinds) {
        if (!text.empty()) text += ", ";
        text += kind + " " + std::to_string(count);
    }
    return text;
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

// ---------------------------------------------------------------------------
// Telling a leak from a cache.
//
// Wine keeps caches that grow with use and then stay (device contexts of
// windows, with their regions; fonts; GDI+'s own objects), and a loaded
// machine makes them grow further before they level off. A leak does not
// level off: it grows by the same amount with every repetition. So the
// counts are taken three times: after a warm-up, after a first stretch of
// repetitions and after a second stretch twice as long. A leak of one object
// per repetition grows by the whole second stretch; a cache that has levelled
// off grows by little or nothing in it (device contexts aside: see below).

struct Sample {
    DWORD gdi = 0;
    DWORD user = 0;
    std::map<std::string, int> gdiByType;
};

inline Sample TakeSample() {
    return Sample{GdiObjects(), UserObjects(), GdiObjectsByType()};
}

struct Growth {
    int firstStretch = 0;   // repetitions between the first and second sample
    int secondStretch = 0;  // repetitions between the second and third sample
    Sample warm, middle, end;
};

// Runs `repeat` warmUp times, then first times, then second times, sampling
// the counts between the stretches. Stops early (with what it has) once a
// fatal gtest failure happened in `repeat`.
inline Growth MeasureGrowth(const std::function<void()>& repeat, int warmUp, int first, int second) {
    Growth growth;
    growth.firstStretch = first;
    growth.secondStretch = second;
    auto run = [&](int times) {
        for (int i = 0; i < times && !::testing::Test::HasFatalFailure(); ++i) repeat();
    };
    run(warmUp);
    growth.warm = TakeSample();
    run(first);
    growth.middle = TakeSample();
    run(second);
    growth.end = TakeSample();
    return growth;
}

// "DC +3, REGION +3" between two samples.
inline std::string DescribeChange(const Sample& from, const Sample& to) {
    std::map<std::string, int> change;
    for (const auto& [kind, count] : to.gdiByType) change[kind] += count;
    for (const auto& [kind, count] : from.gdiByType) change[kind] -= count;
    std::string text;
    for (const auto& [kind, delta] : change) {
        if (delta == 0) continue;
        if (!text.empty()) text += ", ";
        text += kind + (delta > 0 ? " +" : " ") + std::to_string(delta);
    }
    return text.empty() ? "no change" : text;
}

inline std::string Describe(const Growth& growth) {
    auto line = [](const char* name, const Sample& s) {
        return std::string(name) + ": GDI " + std::to_string(s.gdi) + ", USER " + std::to_string(s.user) + " (" +
               Describe(s.gdiByType) + ")\n";
    };
    return line("after the warm-up", growth.warm) + line("after the first stretch", growth.middle) +
           line("after the second stretch", growth.end) + "first stretch of " +
           std::to_string(growth.firstStretch) + ": " + DescribeChange(growth.warm, growth.middle) +
           "\nsecond stretch of " + std::to_string(growth.secondStretch) + ": " +
           DescribeChange(growth.middle, growth.end) + "\n";
}

// Wine's cache of device contexts: an entry is a DC with a region and a
// surface of its own (the "?" kind here: GetObjectType does not name it),
// made when every entry is in use and then kept for reuse. How many are in
// use at once is bounded, so the cache levels off, but when it fills depends
// on timing: on a loaded machine a few dozen entries may still come during
// the second stretch. So the verdict takes the cache apart from the rest.
inline int CountOf(const Sample& sample, const char* kind) {
    const auto found = sample.gdiByType.find(kind);
    return found == sample.gdiByType.end() ? 0 : found->second;
}

// GDI objects that appeared between two samples, with each new device
// context's region and surface set aside (they come with it).
inline long long GrowthBesideDeviceContexts(const Sample& from, const Sample& to) {
    const long long total = static_cast<long long>(to.gdi) - from.gdi;
    const long long dcs = std::max(0, CountOf(to, "DC") - CountOf(from, "DC"));
    const long long regions = std::max(0, CountOf(to, "REGION") - CountOf(from, "REGION"));
    const long long surfaces = std::max(0, CountOf(to, "?") - CountOf(from, "?"));
    return total - dcs - std::min(dcs, regions) - std::min(dcs, surfaces);
}

// The verdict. A leak of one object or one window per repetition fails it,
// a cache that levels off passes:
// - over the second stretch, the objects other than device contexts (with
//   their regions and surfaces) grew by less than one per two repetitions;
// - over both stretches, device contexts grew by less than one per two
//   repetitions (the cache fills by a few dozen at most);
// - the USER objects are where they were after the warm-up.
inline ::testing::AssertionResult LevelsOff(const Growth& growth) {
    if (growth.warm.gdi == 0) return ::testing::AssertionFailure() << "no way to count GDI objects here";
    const long long late = GrowthBesideDeviceContexts(growth.middle, growth.end);
    if (2 * late >= growth.secondStretch) {
        return ::testing::AssertionFailure() << "GDI objects still growing: +" << late << " beside device contexts over the last "
                                             << growth.secondStretch << " repetitions\n"
                                             << Describe(growth);
    }
    const long long dcs = CountOf(growth.end, "DC") - CountOf(growth.warm, "DC");
    if (2 * dcs >= growth.firstStretch + growth.secondStretch) {
        return ::testing::AssertionFailure() << "device contexts still growing: +" << dcs << " over "
                                             << growth.firstStretch + growth.secondStretch << " repetitions\n"
                                             << Describe(growth);
    }
    if (growth.end.user != growth.warm.user) {
        return ::testing::AssertionFailure() << "USER objects from " << growth.warm.user << " to " << growth.end.user
                                             << "\n"
                                             << Describe(growth);
    }
    return ::testing::AssertionSuccess() << Describe(growth);
}

} // namespace guicount
