#pragma once
// The editor's body control (id 3000): a rich edit control with the editor's
// keyboard shortcuts. Ctrl+B/I/U/K are routed to the editor's formatting
// commands; Tab without Ctrl inserts a tab character.

#include "framework/controls.h"

class EditorFormatting;

class CMyRichEditCtrl : public fw::RichEdit {
public:
    // Given by EditorFormatting::Attach; the shortcuts do nothing before.
    void SetFormatting(EditorFormatting* formatting) { formatting_ = formatting; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    EditorFormatting* formatting_ = nullptr;  // borrowed: owned by the same editor
};
