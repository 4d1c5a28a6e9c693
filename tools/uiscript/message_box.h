#pragma once
// Recognising the system's message boxes among the windows of this process,
// reading them and answering them.

#include "tools/uiscript/runner.h"
#include "tools/uiscript/ui_thread.h"

#include <string>

namespace uiscript {

struct BoxButtons {
    HWND ok = nullptr, cancel = nullptr, yes = nullptr, no = nullptr, retry = nullptr;
    // "ok", "okcancel", "yesno", "yesnocancel", "retrycancel", "cancel"; empty for none.
    std::string Names() const;
};

// A message box: a dialog whose children are only statics and buttons, with
// the text in static 0xFFFF, the icon in 1088 and buttons with the standard
// command ids. Our own dialogs have other controls or ids.
bool ReadMessageBox(HWND window, BoxButtons& buttons);

// The text of a message box (its static text control has id 0xFFFF).
std::wstring MessageBoxText(HWND box);

// Waits for the next message box of the driven process, reports it (log and
// onMessageBox), presses the answer and waits until the box is gone.
void AnswerMessageBox(UiThread& ui, const Options& options, Answer answer);

} // namespace uiscript
