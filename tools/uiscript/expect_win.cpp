#include "tools/uiscript/expect.h"

#include "tools/uiscript/find.h"
#include "tools/uiscript/step_failure.h"

#include <commctrl.h>

namespace uiscript {

namespace {

std::string ToolbarUnmet(UiThread& ui, HWND toolbar, const Step& step) {
    const int id = step.id;
    auto ask = [&](UINT message) { return ui.Send(toolbar, message, id, 0) != 0; };
    switch (step.expect) {
    case Expectation::Checked: return ask(TB_ISBUTTONCHECKED) ? "" : "the toolbar button is not checked";
    case Expectation::Unchecked: return !ask(TB_ISBUTTONCHECKED) ? "" : "the toolbar button is checked";
    case Expectation::Enabled: return ask(TB_ISBUTTONENABLED) ? "" : "the toolbar button is disabled";
    case Expectation::Disabled: return !ask(TB_ISBUTTONENABLED) ? "" : "the toolbar button is enabled";
    case Expectation::Hidden: return ask(TB_ISBUTTONHIDDEN) ? "" : "the toolbar button is visible";
    case Expectation::Visible: return !ask(TB_ISBUTTONHIDDEN) ? "" : "the toolbar button is hidden";
    default: Fail("a toolbar button has no text, focus or rectangle to expect");
    }
}

} // namespace

std::wstring ShownText(UiThread& ui, HWND control) {
    const LONG style = ::GetWindowLongW(control, GWL_STYLE);
    if (ClassOf(control) == L"ComboBox" && (style & 0x3) == CBS_DROPDOWNLIST) {
        const LRESULT index = ui.Send(control, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) return {};
        std::wstring text(static_cast<size_t>(ui.Send(control, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
        text.resize(static_cast<size_t>(ui.Send(control, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
        return text;
    }
    return TextOf(control);
}

std::string Unmet(UiThread& ui, const Step& step) {
    const std::string name = "control " + std::to_string(step.id);
    if (step.expect == Expectation::Caption) {
        const std::wstring caption = TextOf(ui.Current());
        return caption == Wide(step.text) ? "" : "the caption is " + Quoted(caption);
    }
    if (HWND toolbar = ui.ToolbarWith(step.id)) return ToolbarUnmet(ui, toolbar, step);
    HWND control = ui.Control(step.id);
    switch (step.expect) {
    case Expectation::Text: {
        const std::wstring text = ShownText(ui, control);
        return text == Wide(step.text) ? "" : "the text is " + Quoted(text);
    }
    case Expectation::Checked:
        return ui.Send(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "" : name + " is not checked";
    case Expectation::Unchecked:
        return ui.Send(control, BM_GETCHECK, 0, 0) == BST_UNCHECKED ? "" : name + " is checked";
    case Expectation::Enabled: return ::IsWindowEnabled(control) ? "" : name + " is disabled";
    case Expectation::Disabled: return !::IsWindowEnabled(control) ? "" : name + " is enabled";
    case Expectation::Hidden: return !::IsWindowVisible(control) ? "" : name + " is visible";
    case Expectation::Visible: return ::IsWindowVisible(control) ? "" : name + " is hidden";
    case Expectation::Focused: return ui.Focus() == control ? "" : name + " does not have the focus";
    case Expectation::Rect: {
        RECT rc{};
        ::GetWindowRect(control, &rc);
        ::MapWindowPoints(HWND_DESKTOP, ui.Current(), reinterpret_cast<POINT*>(&rc), 2);
        const long got[4] = {rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top};
        bool same = true;
        for (int i = 0; i < 4; ++i) same = same && got[i] == step.numbers[i];
        return same ? "" : "the rectangle is " + std::to_string(got[0]) + " " + std::to_string(got[1]) + " " +
                               std::to_string(got[2]) + " " + std::to_string(got[3]);
    }
    default: return "unknown expectation";
    }
}

void Expect(UiThread& ui, const Step& step) {
    std::string reason;
    if (!Poll([&] { reason = Unmet(ui, step); return reason.empty(); }, ui.Foreign() ? ui.TimeoutMs() : 1000)) Fail(reason);
}

} // namespace uiscript
