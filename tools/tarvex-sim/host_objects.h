#pragma once
// The host side that the component sees: the host object of Initialize, the
// category preferences, the capture document with its image writer, the
// output file settings and, when offered, the alert service. Every call the
// component makes on them is recorded in the event log.

#include <tarvex.h>

#include <string>

namespace sim {

struct HostConfig {
    std::wstring accessoryFolder;  // with a trailing backslash
    std::wstring dataFolder;
    long fileType = 5;
    bool alert = false;             // offer IAlertService
    std::wstring saveRedirect;      // SaveImage writes here and returns this path
    bool saveFail = false;          // SaveImage writes nothing and fails
    int captureWidth = 640;
    int captureHeight = 480;
    HWND mainWindow = nullptr;
};

// New objects with one reference for the caller.
IAccessoryHost* CreateHost(const HostConfig& config);
ICategoryPreferences* CreatePreferences(const HostConfig& config);

} // namespace sim
