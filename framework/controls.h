#pragma once
// Thin wrappers around child controls. They own nothing: a wrapper is a
// window handle with one method per message, bound to a control of a dialog
// when the dialog initialises (Dialog::Bind).

#include "core/text.h"
#include "framework/wide.h"

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

namespace fw {

class Control {
public:
    virtual ~Control() = default;

    // Binds the wrapper to a window; SubclassedControl also hooks its messages.
    virtual void Attach(HWND window) { hwnd_ = window; }
    HWND Hwnd() const { return hwnd_; }
    explicit operator bool() const { return hwnd_ != nullptr; }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(hwnd_, message, wParam, lParam);
    }
    int Id() const { return ::GetDlgCtrlID(hwnd_); }

    core::String Text() const;
    void SetText(const core::String& text) const { ::SetWindowTextW(hwnd_, W(text)); }
    void Enable(bool enabled) const { ::EnableWindow(hwnd_, enabled ? TRUE : FALSE); }
    bool IsEnabled() const { return ::IsWindowEnabled(hwnd_) != FALSE; }
    void Show(bool visible) const { ::ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE); }
    bool IsVisible() const { return ::IsWindowVisible(hwnd_) != FALSE; }
    void Focus() const { ::SetFocus(hwnd_); }

    // The window rectangle in the client coordinates of the parent.
    RECT RectInParent() const;
    // Moves and sizes in the parent's client coordinates, keeping the Z order.
    void Place(const RECT& rect) const;

protected:
    HWND hwnd_ = nullptr;
};

class Button : public Control {
public:
    bool IsChecked() const { return Send(BM_GETCHECK) == BST_CHECKED; }
    void SetChecked(bool checked) const { Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED); }
};

class Edit : public Control {};

class Static : public Control {};

class ComboBox : public Control {
public:
    int AddString(const core::String& text) const { return static_cast<int>(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(text)))); }
    int InsertString(int index, const core::String& text) const {
        return static_cast<int>(Send(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(W(text))));
    }
    int Count() const { return static_cast<int>(Send(CB_GETCOUNT)); }
    int Selection() const { return static_cast<int>(Send(CB_GETCURSEL)); }
    void Select(int index) const { Send(CB_SETCURSEL, static_cast<WPARAM>(index)); }
    core::String ItemText(int index) const;
};

class ToolBar : public Control {
public:
    bool IsButtonChecked(int command) const { return Send(TB_ISBUTTONCHECKED, static_cast<WPARAM>(command)) != 0; }
    void CheckButton(int command, bool checked) const { Send(TB_CHECKBUTTON, static_cast<WPARAM>(command), MAKELPARAM(checked ? TRUE : FALSE, 0)); }
    bool IsButtonEnabled(int command) const { return Send(TB_ISBUTTONENABLED, static_cast<WPARAM>(command)) != 0; }
    void EnableButton(int command, bool enabled) const { Send(TB_ENABLEBUTTON, static_cast<WPARAM>(command), MAKELPARAM(enabled ? TRUE : FALSE, 0)); }
};

// A control whose messages pass through WindowProc first (comctl32 window
// subclassing); what WindowProc does not handle goes to DefaultProc.
class SubclassedControl : public Control {
public:
    ~SubclassedControl() override;
    void Attach(HWND window) override;
    void Detach();

protected:
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return DefaultProc(message, wParam, lParam); }
    LRESULT DefaultProc(UINT message, WPARAM wParam, LPARAM lParam) { return ::DefSubclassProc(hwnd_, message, wParam, lParam); }

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
};

class RichEdit : public SubclassedControl {
public:
    // The cbSize fields are filled in here, never by callers.
    bool SetSelectionFormat(CHARFORMAT2W format) const {
        format.cbSize = sizeof format;
        return Send(EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format)) != 0;
    }
    bool SetDefaultFormat(CHARFORMAT2W format) const {
        format.cbSize = sizeof format;
        return Send(EM_SETCHARFORMAT, SCF_DEFAULT, reinterpret_cast<LPARAM>(&format)) != 0;
    }
    CHARFORMAT2W SelectionFormat() const {
        CHARFORMAT2W format{};
        format.cbSize = sizeof format;
        Send(EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
        return format;
    }
    PARAFORMAT2 ParagraphFormat() const {
        PARAFORMAT2 format{};
        format.cbSize = sizeof format;
        Send(EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format));
        return format;
    }
    bool SetParagraphFormat(PARAFORMAT2 format) const {
        format.cbSize = sizeof format;
        return Send(EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&format)) != 0;
    }
    CHARRANGE Selection() const {
        CHARRANGE range{};
        Send(EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(&range));
        return range;
    }
    void SetSelection(LONG start, LONG end) const {
        CHARRANGE range{start, end};
        Send(EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    }
    void SetEventMask(DWORD mask) const { Send(EM_SETEVENTMASK, 0, static_cast<LPARAM>(mask)); }
    // Text of [start, end), hidden text included.
    core::String TextRange(LONG start, LONG end) const;
    // The whole content as RTF bytes (EM_STREAMOUT with SF_RTF).
    std::string StreamOutRtf() const;
    // Replaces the selection with RTF (EM_STREAMIN with SF_RTF | SFF_SELECTION).
    void StreamInRtfSelection(const std::string& rtf) const;
};

} // namespace fw
