#pragma once
// Checking an `expect` step against the current window: a control's text or
// state, a toolbar button's state, the window's caption.

#include "tools/uiscript/script.h"
#include "tools/uiscript/ui_thread.h"

#include <string>

namespace uiscript {

// What the expectation finds now: empty when it holds, else the reason.
std::string Unmet(UiThread& ui, const Step& step);

// Checks again for a moment, for state that a window updates on its own
// (timers, notifications it posts to itself); fails with the last reason.
// Another process's windows change on that process's own time: a step there
// has no marker to wait for, so its expectations wait as long as a window.
void Expect(UiThread& ui, const Step& step);

// The text a user sees in a control: a drop-down list's chosen entry, else
// the window text.
std::wstring ShownText(UiThread& ui, HWND control);

} // namespace uiscript
