// Placeholder until the notice lands: the object deletes itself at once.
#include "notice/toaster_popup_wnd.h"

CToasterPopupWnd::CToasterPopupWnd(int, int, int, int) {}
CToasterPopupWnd::~CToasterPopupWnd() {}
void CToasterPopupWnd::SetTitle(const core::String&) {}
void CToasterPopupWnd::SetText(const core::String&) {}
void CToasterPopupWnd::SetLink(const core::String&) {}
void CToasterPopupWnd::Show() { delete this; }
