#pragma once
// Hiding the server and endpoint rows of the log-in and options dialogs for
// services that have no server of their own; both dialogs collapse the same way.

#include "framework/controls.h"

#include <windows.h>

#include <initializer_list>

// Hides `hidden`, shortens `group` by the height of the two rows (endpoint
// bottom less password bottom), moves `below` up by as much and shrinks
// `dialog` by as much, keeping positions and widths. Returns that height in pixels.
int CollapseServerRows(HWND dialog, const fw::Control& group, const fw::Control& passwordBox,
                       const fw::Control& endpointBox, std::initializer_list<const fw::Control*> hidden,
                       std::initializer_list<const fw::Control*> below);
