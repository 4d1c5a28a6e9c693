#pragma once
// Making input as a user would, on the current window of the user-interface
// thread: texts, clicks, check boxes, combo choices, focus and keystrokes.
// Clicks and keys are posted (a click may open a modal loop, and SendMessage
// would wait for it), then the thread is let to handle them.

#include "tools/uiscript/script.h"
#include "tools/uiscript/ui_thread.h"

#include <functional>
#include <string>

namespace uiscript {

class Input {
public:
    Input(UiThread& ui, std::function<void(const std::string&)> log) : ui_(ui), log_(std::move(log)) {}

    void SetText(int id, const std::string& text);       // WM_SETTEXT
    void Click(int id);                                   // a button, a toolbar command, or any other control
    void ClickChar(int id, long position);                // a left click on one character of a rich edit
    void SetCheck(int id, bool checked);                  // a check box or toolbar check button
    void Select(int id, long start, long end);            // EM_SETSEL
    void Combo(int id, long index);                       // a choice, with its CBN_SELCHANGE
    void Focus(int id);
    void Type(const std::string& text);                   // WM_CHAR to the focused control
    void Key(KeyName key, char letter);                   // Enter, Escape, Tab, or Ctrl+letter
    void Close();                                         // the close box of the current window
    void ClickWindow();                                   // a left click in the middle of the current window itself

private:
    void RequireUsable(HWND control, int id);
    void ClickToolbar(HWND toolbar, int command);
    HWND FocusedControl();

    UiThread& ui_;
    std::function<void(const std::string&)> log_;
};

} // namespace uiscript
