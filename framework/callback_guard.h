#pragma once
// The edge of every callback the system calls into our code (window and
// dialog procedures, subclass procedures): no exception may unwind through
// the system's frames. What a handler throws ends that one message with a
// message box and the result the window's default handling gives; the
// window stays usable and the process goes on.
//
//     return GuardCallback([&] { return self->Handle(message, wParam, lParam); },
//                          [&] { return ::DefWindowProcW(window, message, wParam, lParam); });

#include <new>

namespace fw {

enum class CallbackFailure { OutOfMemory, Unexpected };

// Tells the user that an action failed: a message box with the application
// name as its caption, the exclamation icon and a short text. Allocates
// nothing it cannot do without. While one such box is up on this thread
// (its modal loop keeps dispatching messages, which may fail again), further
// failures show nothing more.
void ReportCallbackFailure(CallbackFailure failure) noexcept;

// Runs `body`; when it throws, reports the failure and returns `fallback()`
// instead. `fallback` must not throw (it is the system's default handling).
template <class Body, class Fallback>
auto GuardCallback(Body&& body, Fallback&& fallback) noexcept -> decltype(body()) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        ReportCallbackFailure(CallbackFailure::OutOfMemory);
    } catch (...) {
        ReportCallbackFailure(CallbackFailure::Unexpected);
    }
    return fallback();
}

} // namespace fw
