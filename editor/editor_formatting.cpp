#include "editor/editor_formatting.h"

#include "core/link_text.h"
#include "editor/link_dialog.h"
#include "editor/my_rich_edit_ctrl.h"
#include "framework/wide.h"
#include "resources/resource.h"

#include <vector>

void EditorFormatting::Attach(const Controls& controls) {
    controls_ = controls;
    if (controls_.body) controls_.body->SetFormatting(this);
}

// Bold, italic and underline: the button and the text are each flipped from
// their own state, so a mixed selection (button unchecked, first character
// bold) can make the button checked and the text plain. The request carries
// the reported height too, so a selection of mixed sizes takes one size.
void EditorFormatting::FlipEffect(int command, DWORD mask, DWORD effect) {
    fw::ToolBar& bar = *controls_.formatBar;
    bar.CheckButton(command, !bar.IsButtonChecked(command));
    ToggleEffect(mask, effect);
}

void EditorFormatting::OnBold() { FlipEffect(ID_FORMAT_BOLD, CFM_BOLD, CFE_BOLD); }
void EditorFormatting::OnItalic() { FlipEffect(ID_FORMAT_ITALIC, CFM_ITALIC, CFE_ITALIC); }
void EditorFormatting::OnUnderline() { FlipEffect(ID_FORMAT_UNDERLINE, CFM_UNDERLINE, CFE_UNDERLINE); }

void EditorFormatting::ToggleEffect(DWORD mask, DWORD effect) {
    CHARFORMAT2W current = controls_.body->SelectionFormat();
    CHARFORMAT2W request{};
    request.dwMask = mask | CFM_SIZE;
    request.dwEffects = (current.dwEffects & effect) ? 0 : effect;
    request.yHeight = current.yHeight;
    controls_.body->SetSelectionFormat(request);
    controls_.body->Focus();
}

void EditorFormatting::SetSelectionSize(LONG height) {
    CHARFORMAT2W request{};
    request.dwMask = CFM_SIZE;
    request.yHeight = height;
    controls_.body->SetSelectionFormat(request);
    controls_.body->Focus();
}

void EditorFormatting::AlignParagraph(int command, WORD alignment) {
    for (int button : {ID_ALIGN_LEFT, ID_ALIGN_CENTER, ID_ALIGN_RIGHT}) {
        controls_.formatBar->CheckButton(button, button == command);
    }
    PARAFORMAT2 format{};
    format.dwMask = PFM_ALIGNMENT;
    format.wAlignment = alignment;
    controls_.body->SetParagraphFormat(format);
    controls_.body->Focus();
}

void EditorFormatting::OnAlignLeft() { AlignParagraph(ID_ALIGN_LEFT, PFA_LEFT); }
void EditorFormatting::OnAlignCenter() { AlignParagraph(ID_ALIGN_CENTER, PFA_CENTER); }
void EditorFormatting::OnAlignRight() { AlignParagraph(ID_ALIGN_RIGHT, PFA_RIGHT); }

void EditorFormatting::OnTextSizeChange() {
    SetSelectionSize(core::TextSizeHeight(controls_.sizeBox->Selection()));
}

// The post reads which image button is checked; nothing else happens here.
void EditorFormatting::CheckImageButton(int command) {
    for (int button : {ID_IMAGE_LEFT, ID_IMAGE_RIGHT, ID_IMAGE_TOP, ID_IMAGE_BOTTOM}) {
        controls_.imageBar->CheckButton(button, button == command);
    }
}

void EditorFormatting::OnImageLeft() { CheckImageButton(ID_IMAGE_LEFT); }
void EditorFormatting::OnImageRight() { CheckImageButton(ID_IMAGE_RIGHT); }
void EditorFormatting::OnImageTop() { CheckImageButton(ID_IMAGE_TOP); }
void EditorFormatting::OnImageBottom() { CheckImageButton(ID_IMAGE_BOTTOM); }

bool EditorFormatting::CanCreateLink() const {
    return controls_.formatBar && controls_.formatBar->IsButtonEnabled(ID_LINK_CREATE);
}

void EditorFormatting::CreateLink() {
    CMyRichEditCtrl& body = *controls_.body;
    const CHARFORMAT2W remembered = body.SelectionFormat();
    const CHARRANGE selection = body.Selection();
    body.SetSelection(selection.cpMin, selection.cpMax);
    const LONG start = selection.cpMin;

    // The dialog is owned by the editor, so the editor cannot be used (or
    // posted) while the link is being typed.
    CLinkDialog dialog(controls_.dialog);
    dialog.displayText = core::VisiblePart(body.TextRange(selection.cpMin, selection.cpMax));
    if (dialog.DoModal() == IDOK) {
        const core::LinkChoice choice{dialog.IsUrl(), dialog.displayText, dialog.address, dialog.emailAddress, dialog.subject};
        if (std::optional<core::String> address = core::LinkAddress(choice)) {
            // Escaped and pure ASCII, so neither a typed "\" or brace nor the
            // code page can change what the control reads.
            body.StreamInRtfSelection(core::ComposeLinkRtf(choice.displayText, *address));
            const LONG displayLength = static_cast<LONG>(choice.displayText.size());
            body.SetSelection(start, start + displayLength);
            ToggleEffect(CFM_SHADOW, CFE_SHADOW);
            ToggleEffect(CFM_LINK, CFE_LINK);
            const LONG caret = start + displayLength + static_cast<LONG>(core::HiddenLinkLength(*address));
            body.SetSelection(caret, caret);
            SetSelectionSize(remembered.yHeight);
            // Text typed at the caret would take the hidden format of the
            // address before it and vanish from view.
            CHARFORMAT2W visible{};
            visible.dwMask = CFM_HIDDEN;
            body.SetSelectionFormat(visible);
        }
    }
    body.Focus();
}

void EditorFormatting::OnCreateLink() {
    CreateLink();
    linkStart = -1;
    linkEnd = -1;
}

core::String EditorFormatting::PlainText() const {
    GETTEXTLENGTHEX query{GTL_NUMCHARS | GTL_PRECISE, 1200};
    const LRESULT length = controls_.body->Send(EM_GETTEXTLENGTHEX, reinterpret_cast<WPARAM>(&query));
    return controls_.body->TextRange(0, static_cast<LONG>(length > 0 ? length : 0));
}

std::optional<LRESULT> EditorFormatting::OnLinkNotify(const ENLINK& link) {
    if (link.msg != WM_LBUTTONDOWN) return 0;
    linkStart = link.chrg.cpMin;
    linkEnd = link.chrg.cpMax;
    urlStart = -1;
    urlEnd = -1;
    // Positions here are the control's own (one per paragraph break), the
    // same as the notification's range and the later selection.
    const core::String text = PlainText();
    auto charAt = [&text](LONG position) {
        return position >= 0 && static_cast<size_t>(position) < text.size() ? text[static_cast<size_t>(position)] : u'\0';
    };
    if (charAt(linkEnd) == u'#' || charAt(linkEnd + 1) == u'#') {
        LONG position = linkEnd;
        int quotes = 0;
        while (static_cast<size_t>(position) < text.size() && quotes < 2) {
            if (text[static_cast<size_t>(position)] == u'"') ++quotes;
            ++position;
        }
        urlStart = linkEnd;
        urlEnd = position;
    }
    UpdateFormatButtons();
    return 0;
}

void EditorFormatting::OnRemoveLink() {
    if (linkStart != -1 && linkEnd != -1) {
        CMyRichEditCtrl& body = *controls_.body;
        const CHARFORMAT2W remembered = body.SelectionFormat();
        body.SetSelection(linkStart, linkEnd);
        if (body.SelectionFormat().dwEffects & CFE_LINK) {
            ToggleEffect(CFM_SHADOW, CFE_SHADOW);
            ToggleEffect(CFM_LINK, CFE_LINK);
        }
        // Only text that still reads as a hidden address is removed: after
        // edits since the click the remembered range may hold the user's text.
        if (urlStart != -1 && urlEnd != -1) {
            const core::String hidden = body.TextRange(urlStart, urlEnd);
            if (hidden.size() >= 3 && hidden.find(u"#\"") <= 1 && hidden.back() == u'"') {
                body.SetSelection(urlStart, urlEnd);
                body.Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
            }
        }
        body.SetSelection(linkEnd, linkEnd);
        SetSelectionSize(remembered.yHeight);
        body.Focus();
    }
    linkStart = -1;
    linkEnd = -1;
}

void EditorFormatting::OnSelectionChange() {
    UpdateAlignButtons();
    UpdateFormatButtons();
}

void EditorFormatting::UpdateAlignButtons() {
    const PARAFORMAT2 format = controls_.body->ParagraphFormat();
    int checked = 0;
    switch (format.wAlignment) {
    case PFA_LEFT: checked = ID_ALIGN_LEFT; break;
    case PFA_CENTER: checked = ID_ALIGN_CENTER; break;
    case PFA_RIGHT: checked = ID_ALIGN_RIGHT; break;
    default: return;  // justified or unknown: the buttons stay as they are
    }
    for (int button : {ID_ALIGN_LEFT, ID_ALIGN_CENTER, ID_ALIGN_RIGHT}) {
        controls_.formatBar->CheckButton(button, button == checked);
    }
}

void EditorFormatting::UpdateFormatButtons() {
    const CHARFORMAT2W format = controls_.body->SelectionFormat();
    SyncTextSizeCombo(format.yHeight);
    fw::ToolBar& bar = *controls_.formatBar;
    // A button is checked only when the effect is the same over the whole
    // selection (in the mask) and on.
    auto consistentAndOn = [&format](DWORD mask, DWORD effect) {
        return (format.dwMask & mask) && (format.dwEffects & effect);
    };
    bar.CheckButton(ID_FORMAT_BOLD, consistentAndOn(CFM_BOLD, CFE_BOLD));
    bar.CheckButton(ID_FORMAT_ITALIC, consistentAndOn(CFM_ITALIC, CFE_ITALIC));
    bar.CheckButton(ID_FORMAT_UNDERLINE, consistentAndOn(CFM_UNDERLINE, CFE_UNDERLINE));
    // Shadow marks link text: inside a link nothing new can be made, and the
    // link can be removed only once it was clicked.
    if (consistentAndOn(CFM_SHADOW, CFE_SHADOW)) {
        bar.EnableButton(ID_LINK_CREATE, false);
        bar.EnableButton(ID_LINK_REMOVE, linkStart != -1 && linkEnd != -1);
    } else {
        bar.EnableButton(ID_LINK_CREATE, true);
        bar.EnableButton(ID_LINK_REMOVE, false);
    }
    const core::String text = PlainText();
    if (text.find_first_not_of(u" \t\r\n\v\f") == core::String::npos) {
        bar.EnableButton(ID_LINK_CREATE, true);
        bar.EnableButton(ID_LINK_REMOVE, false);
    }
}

// Heights the box does not offer (pasted 11-point text) leave it as it is.
void EditorFormatting::SyncTextSizeCombo(LONG height) {
    const std::optional<int> index = core::TextSizeIndex(static_cast<int>(height));
    if (index && controls_.sizeBox->Selection() != *index) controls_.sizeBox->Select(*index);
}
