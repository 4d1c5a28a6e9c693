#include "framework/callback_guard.h"

#include "framework/module.h"
#include "framework/string_ids.h"
#include "framework/strings.h"
#include "framework/wide.h"

#include <windows.h>

namespace fw {

namespace {
thread_local bool tReporting = false;
}

void ReportCallbackFailure(CallbackFailure failure) noexcept {
    if (tReporting) return;
    tReporting = true;
    const bool outOfMemory = failure == CallbackFailure::OutOfMemory;
    // Built-in texts for when the memory is too short even to load ours.
    const wchar_t* caption = L"Velluma";
    const wchar_t* text = outOfMemory ? L"There is not enough memory to finish this action."
                                      : L"An unexpected error stopped this action.";
    core::String loadedCaption, loadedText;
    try {
        loadedCaption = AppName();
        loadedText = LoadResourceString(outOfMemory ? IDS_CALLBACK_OUT_OF_MEMORY : IDS_CALLBACK_UNEXPECTED);
    } catch (...) {
        // Keep the built-in texts.
    }
    if (!loadedCaption.empty()) caption = W(loadedCaption);
    if (!loadedText.empty()) text = W(loadedText);
    ::MessageBoxW(::GetActiveWindow(), text, caption, MB_OK | MB_ICONEXCLAMATION);
    tReporting = false;
}

} // namespace fw
