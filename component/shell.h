#pragma once

#include "core/text.h"

#include <windows.h>

// Asks the shell to "open" an address (no owner, parameters or folder; shown
// normally). The shell's answer is not looked at.
void ShellOpen(const core::String& address);

// The address as the completion notice shows it.
core::String DisplayAddress(core::String address);

// Brings `window` to the front, borrowing the foreground thread's input
// state when the system refuses the plain request. True when it worked.
bool ForceForegroundWindow(HWND window);
