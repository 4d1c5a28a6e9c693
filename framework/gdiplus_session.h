#pragma once
// Keeps GDI+ started for the lifetime of the object. GDI+ counts its
// start-ups, so a session of ours never disturbs one the host already runs.

#include <windows.h>

namespace fw {

class GdiplusSession {
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool Started() const { return token_ != 0; }

private:
    ULONG_PTR token_ = 0;
};

} // namespace fw
