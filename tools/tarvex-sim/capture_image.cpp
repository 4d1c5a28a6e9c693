#include "tools/tarvex-sim/capture_image.h"

#include <windows.h>
#include <gdiplus.h>

#include <cstdint>
#include <vector>

namespace sim {

namespace {

using namespace Gdiplus::DllExports;

const wchar_t* MimeType(long fileType) {
    switch (fileType) {
    case 0: return L"image/bmp";
    case 2: return L"image/tiff";
    case 3: return L"image/jpeg";
    case 4: return L"image/gif";
    case 5: return L"image/png";
    default: return nullptr;
    }
}

bool FindEncoder(const wchar_t* mime, CLSID& clsid) {
    UINT count = 0, bytes = 0;
    if (GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i)
        if (std::wstring(codecs[i].MimeType) == mime) {
            clsid = codecs[i].Clsid;
            return true;
        }
    return false;
}

// A picture that shows its orientation and edges: a diagonal colour ramp,
// a 32-pixel grid and a dark frame.
std::vector<uint32_t> Pixels(int width, int height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t r = static_cast<uint32_t>(255 * x / (width > 1 ? width - 1 : 1));
            uint32_t g = static_cast<uint32_t>(255 * y / (height > 1 ? height - 1 : 1));
            uint32_t b = 160;
            if (x % 32 == 0 || y % 32 == 0) r = g = b = 255;
            if (x < 2 || y < 2 || x >= width - 2 || y >= height - 2) r = g = b = 32;
            pixels[static_cast<size_t>(y) * width + x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    return pixels;
}

} // namespace

bool WriteCapture(const std::wstring& path, long fileType, int width, int height) {
    const wchar_t* mime = MimeType(fileType);
    CLSID encoder{};
    if (!mime || width <= 0 || height <= 0 || !FindEncoder(mime, encoder)) return false;

    std::vector<uint32_t> pixels = Pixels(width, height);
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB, reinterpret_cast<BYTE*>(pixels.data()),
                                  &bitmap) != Gdiplus::Ok)
        return false;
    Gdiplus::GpBitmap* toSave = bitmap;
    Gdiplus::GpBitmap* indexed = nullptr;
    // Wine's GIF encoder writes an unreadable file from a 32-bit bitmap; an
    // 8-bit indexed copy (halftone palette) encodes properly.
    if (fileType == 4) {
        if (GdipCloneBitmapAreaI(0, 0, width, height, PixelFormat8bppIndexed, bitmap, &indexed) != Gdiplus::Ok) {
            GdipDisposeImage(bitmap);
            return false;
        }
        toSave = indexed;
    }
    const bool ok = GdipSaveImageToFile(toSave, path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
    if (indexed) GdipDisposeImage(indexed);
    GdipDisposeImage(bitmap);
    return ok;
}

} // namespace sim
