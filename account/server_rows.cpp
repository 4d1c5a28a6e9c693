#include "account/server_rows.h"

int CollapseServerRows(HWND dialog, const fw::Control& group, const fw::Control& passwordBox,
                       const fw::Control& endpointBox, std::initializer_list<const fw::Control*> hidden,
                       std::initializer_list<const fw::Control*> below) {
    RECT groupRect = group.RectInParent();
    const int height = endpointBox.RectInParent().bottom - passwordBox.RectInParent().bottom;

    for (const fw::Control* control : hidden) control->Show(false);
    groupRect.bottom -= height;
    group.Place(groupRect);
    for (const fw::Control* control : below) {
        RECT rect = control->RectInParent();
        ::OffsetRect(&rect, 0, -height);
        control->Place(rect);
    }

    RECT window{};
    ::GetWindowRect(dialog, &window);
    ::SetWindowPos(dialog, nullptr, 0, 0, window.right - window.left, window.bottom - window.top - height,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return height;
}
