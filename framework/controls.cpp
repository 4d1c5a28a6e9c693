#include "framework/controls.h"

#include "framework/callback_guard.h"

#include <exception>
#include <string>
#include <vector>

namespace fw {

core::String Control::Text() const {
    int length = ::GetWindowTextLengthW(hwnd_);
    if (length <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int copied = ::GetWindowTextW(hwnd_, buffer.data(), length + 1);
    return FromWide(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

RECT Control::RectInParent() const {
    RECT rect{};
    ::GetWindowRect(hwnd_, &rect);
    ::MapWindowPoints(nullptr, ::GetParent(hwnd_), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void Control::Place(const RECT& rect) const {
    ::SetWindowPos(hwnd_, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

core::String ComboBox::ItemText(int index) const {
    LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    LRESULT copied = Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.data()));
    return copied == CB_ERR ? core::String() : FromWide(buffer.data(), static_cast<size_t>(copied));
}

SubclassedControl::~SubclassedControl() {
    Detach();
}

void SubclassedControl::Attach(HWND window) {
    Detach();
    Control::Attach(window);
    if (window) ::SetWindowSubclass(window, SubclassProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void SubclassedControl::Detach() {
    if (hwnd_ && ::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, SubclassProc, 1);
    hwnd_ = nullptr;
}

LRESULT CALLBACK SubclassedControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                 UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<SubclassedControl*>(data);
    if (message == WM_NCDESTROY) {
        ::RemoveWindowSubclass(window, SubclassProc, 1);
        self->hwnd_ = nullptr;
        return ::DefSubclassProc(window, message, wParam, lParam);
    }
    // What the control's own handling throws ends the message with the
    // control's default handling (GuardCallback).
    return GuardCallback([&] { return self->WindowProc(message, wParam, lParam); },
                         [&] { return ::DefSubclassProc(window, message, wParam, lParam); });
}

core::String RichEdit::TextRange(LONG start, LONG end) const {
    if (end < start) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(end - start) + 1);
    TEXTRANGEW range{{start, end}, buffer.data()};
    LRESULT copied = Send(EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    return FromWide(buffer.data(), static_cast<size_t>(copied > 0 ? copied : 0));
}

namespace {
// The RTF streamed out so far. An allocation failure must not unwind through
// the control's code: the callback keeps it, stops the stream, and
// StreamOutRtf throws it again once the control has returned.
struct RtfSink {
    std::string rtf;
    std::exception_ptr failure;
};

DWORD CALLBACK AppendBytes(DWORD_PTR cookie, LPBYTE bytes, LONG count, LONG* done) {
    auto* sink = reinterpret_cast<RtfSink*>(cookie);
    *done = 0;
    try {
        sink->rtf.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(count));
    } catch (...) {
        sink->failure = std::current_exception();
        return 1;  // any value but 0 ends the stream
    }
    *done = count;
    return 0;
}

struct ReadCursor {
    const std::string* data;
    size_t offset;
};

DWORD CALLBACK ReadBytes(DWORD_PTR cookie, LPBYTE bytes, LONG wanted, LONG* done) {
    auto* cursor = reinterpret_cast<ReadCursor*>(cookie);
    size_t left = cursor->data->size() - cursor->offset;
    size_t n = left < static_cast<size_t>(wanted) ? left : static_cast<size_t>(wanted);
    cursor->data->copy(reinterpret_cast<char*>(bytes), n, cursor->offset);
    cursor->offset += n;
    *done = static_cast<LONG>(n);
    return 0;
}
} // namespace

std::string RichEdit::StreamOutRtf() const {
    RtfSink sink;
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&sink), 0, AppendBytes};
    Send(EM_STREAMOUT, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    if (sink.failure) std::rethrow_exception(sink.failure);
    return std::move(sink.rtf);
}

void RichEdit::StreamInRtfSelection(const std::string& rtf) const {
    ReadCursor cursor{&rtf, 0};
    EDITSTREAM stream{reinterpret_cast<DWORD_PTR>(&cursor), 0, ReadBytes};
    Send(EM_STREAMIN, SF_RTF | SFF_SELECTION, reinterpret_cast<LPARAM>(&stream));
}

} // namespace fw
