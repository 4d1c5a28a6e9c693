#include "editor/my_rich_edit_ctrl.h"

#include "editor/editor_formatting.h"

namespace {
// Character codes that Ctrl with a letter produces.
constexpr WPARAM kCtrlB = 2;
constexpr WPARAM kCtrlI = 9;   // also what Tab produces: told apart by the Ctrl key
constexpr WPARAM kCtrlK = 11;
constexpr WPARAM kCtrlU = 21;
} // namespace

LRESULT CMyRichEditCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CHAR && ::GetKeyState(VK_CONTROL) < 0) {
        switch (wParam) {
        case kCtrlB:
            if (formatting_) formatting_->OnBold();
            return 0;
        case kCtrlI:
            if (formatting_) formatting_->OnItalic();
            return 0;
        case kCtrlU:
            if (formatting_) formatting_->OnUnderline();
            return 0;
        case kCtrlK:
            // Inside link text Create link is disabled, and so is its shortcut.
            if (formatting_ && formatting_->CanCreateLink()) formatting_->OnCreateLink();
            return 0;
        default:
            break;
        }
    }
    return DefaultProc(message, wParam, lParam);
}
