#pragma once
// Screenshots: the whole screen as a PNG file.

#include <string>

namespace uiscript {

// The file a `shot NAME` writes in `folder`: NAME.png (".png" added unless
// NAME ends with it). Creates the folder and its parents.
std::wstring ShotFile(const std::wstring& folder, const std::string& name);

// Writes the screen to `file` as PNG; false when it could not.
// Fails (StepFailure) only when GDI+ does not start.
bool WriteScreenPng(const std::wstring& file);

} // namespace uiscript
