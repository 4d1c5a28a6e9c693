// Placeholder until the formatting commands land: every command does nothing.
#include "editor/editor_formatting.h"

#include "editor/my_rich_edit_ctrl.h"

void EditorFormatting::OnBold() {}
void EditorFormatting::OnItalic() {}
void EditorFormatting::OnUnderline() {}
void EditorFormatting::OnAlignLeft() {}
void EditorFormatting::OnAlignCenter() {}
void EditorFormatting::OnAlignRight() {}
void EditorFormatting::OnCreateLink() {}
void EditorFormatting::OnRemoveLink() {}
void EditorFormatting::OnImageLeft() {}
void EditorFormatting::OnImageRight() {}
void EditorFormatting::OnImageTop() {}
void EditorFormatting::OnImageBottom() {}
void EditorFormatting::OnSelectionChange() {}
void EditorFormatting::OnTextSizeChange() {}
std::optional<LRESULT> EditorFormatting::OnLinkNotify(const ENLINK&) { return std::nullopt; }

LRESULT CMyRichEditCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return DefaultProc(message, wParam, lParam);
}
