#include "tools/uiscript/screenshot.h"

#include "tools/uiscript/find.h"
#include "tools/uiscript/step_failure.h"

#include <windows.h>
#include <gdiplus.h>

#include <vector>

namespace uiscript {

namespace {

CLSID PngEncoder() {
    UINT count = 0, bytes = 0;
    Gdiplus::DllExports::GdipGetImageEncodersSize(&count, &bytes);
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    CLSID clsid{};
    if (bytes && Gdiplus::DllExports::GdipGetImageEncoders(count, bytes, codecs) == Gdiplus::Ok)
        for (UINT i = 0; i < count; ++i)
            if (std::wstring(codecs[i].MimeType) == L"image/png") clsid = codecs[i].Clsid;
    return clsid;
}

void MakeFolders(const std::wstring& folder) {
    for (size_t i = 0; i <= folder.size(); ++i)
        if (i == folder.size() || ((folder[i] == L'\\' || folder[i] == L'/') && i > 2))
            ::CreateDirectoryW(folder.substr(0, i).c_str(), nullptr);
}

} // namespace

std::wstring ShotFile(const std::wstring& folder, const std::string& name) {
    std::wstring file = folder;
    if (file.back() != L'\\' && file.back() != L'/') file += L'\\';
    MakeFolders(file);
    file += Wide(name);
    if (file.size() < 4 || _wcsicmp(file.c_str() + file.size() - 4, L".png") != 0) file += L".png";
    return file;
}

bool WriteScreenPng(const std::wstring& file) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) Fail("GDI+ did not start");
    HDC screen = ::GetDC(nullptr);
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    Gdiplus::GpBitmap* image = nullptr;
    Gdiplus::GpStatus status = Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image);
    if (status == Gdiplus::Ok) {
        const CLSID png = PngEncoder();
        status = Gdiplus::DllExports::GdipSaveImageToFile(image, file.c_str(), &png, nullptr);
        Gdiplus::DllExports::GdipDisposeImage(image);
    }
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    Gdiplus::GdiplusShutdown(token);
    return status == Gdiplus::Ok;
}

} // namespace uiscript
