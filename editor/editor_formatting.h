#pragma once
// The editor's formatting, link and image-alignment commands, and the
// refresh of the toolbar buttons when the selection moves. The editor dialog
// owns one and routes its commands and notifications here.

#include "core/text.h"
#include "framework/controls.h"

#include <windows.h>
#include <richedit.h>

#include <optional>

class CMyRichEditCtrl;

class EditorFormatting {
public:
    // All borrowed from the editor dialog, which outlives this object.
    struct Controls {
        HWND dialog = nullptr;
        CMyRichEditCtrl* body = nullptr;
        fw::ToolBar* formatBar = nullptr;
        fw::ToolBar* imageBar = nullptr;
        fw::ComboBox* sizeBox = nullptr;
    };
    // Called once the editor has created its controls and toolbars. Also
    // hands the body this object for its keyboard shortcuts.
    void Attach(const Controls& controls);

    void OnBold();
    void OnItalic();
    void OnUnderline();
    void OnAlignLeft();
    void OnAlignCenter();
    void OnAlignRight();
    void OnCreateLink();
    void OnRemoveLink();
    void OnImageLeft();
    void OnImageRight();
    void OnImageTop();
    void OnImageBottom();
    void OnSelectionChange();
    void OnTextSizeChange();
    // EN_LINK from the body; a result when the notification was handled.
    std::optional<LRESULT> OnLinkNotify(const ENLINK& link);

    // Whether Create link is enabled on the formatting toolbar (Ctrl+K obeys it).
    bool CanCreateLink() const;

    // The last link clicked: visible range and hidden address range; -1 when none.
    LONG linkStart = -1;
    LONG linkEnd = -1;
    LONG urlStart = -1;
    LONG urlEnd = -1;

private:
    void FlipEffect(int command, DWORD mask, DWORD effect);
    void ToggleEffect(DWORD mask, DWORD effect);
    void SetSelectionSize(LONG height);
    void AlignParagraph(int command, WORD alignment);
    void CheckImageButton(int command);
    void CreateLink();
    void UpdateAlignButtons();
    void UpdateFormatButtons();
    void SyncTextSizeCombo(LONG height);
    // The body's whole text in the control's own character positions, hidden
    // text included.
    core::String PlainText() const;

    Controls controls_;
};
