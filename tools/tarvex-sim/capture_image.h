#pragma once
// The simulator's "capture": a synthetic picture of a chosen size, written
// with the GDI+ encoders in the file types the host knows.

#include <string>

namespace sim {

// Writes the picture to `path` in `fileType` (0 BMP, 2 TIFF, 3 JPEG, 4 GIF,
// 5 PNG). False for any other type or when GDI+ cannot write the file.
// GDI+ must be started.
bool WriteCapture(const std::wstring& path, long fileType, int width, int height);

} // namespace sim
