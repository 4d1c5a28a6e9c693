#pragma once
// The editor's body control (id 3000): a rich edit control with the editor's
// keyboard shortcuts. Ctrl+B/I/U/K are routed to the owner dialog as the
// toolbar commands; Tab without Ctrl inserts a tab character.

#include "framework/controls.h"

class CMyRichEditCtrl : public fw::RichEdit {
public:
    void SetOwnerDialog(HWND dialog) { ownerDialog = dialog; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    HWND ownerDialog = nullptr;  // borrowed: the editor outlives its control
};
