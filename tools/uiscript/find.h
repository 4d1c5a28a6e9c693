#pragma once
// Finding the windows and controls of this process and reading their text:
// the one place for it, used by the script runner and by the test programs'
// own dialog drivers. Windows are found per process or per thread, never with
// a desktop-wide FindWindow, so parallel test programs on one display do not
// see each other's dialogs.

#include <windows.h>

#include <functional>
#include <string>

namespace uiscript {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// The text in UTF-8 between double quotes, for messages.
std::string Quoted(const std::wstring& text);

std::wstring ClassOf(HWND window);
// WM_GETTEXT, whatever the length.
std::wstring TextOf(HWND window);
bool BelongsTo(HWND window, DWORD processId);

using WindowMatch = std::function<bool(HWND window)>;

// The first visible top-level window of the process that `match` accepts,
// in the order the system enumerates them; null when there is none.
HWND FindTopLevel(DWORD processId, const WindowMatch& match);
// The same among the visible top-level windows of one thread.
HWND FindThreadWindow(DWORD thread, const WindowMatch& match);

// The child with this id, or else any descendant with it; null when none.
HWND FindControl(HWND window, int id);
// The toolbar among the window's descendants that holds `command`; null when none.
HWND FindToolbarWith(HWND window, int command);

// The window that has the keyboard focus on `thread` (GetFocus only answers
// for the calling thread); null when none or the thread has no input state.
HWND FocusOf(DWORD thread);

} // namespace uiscript
