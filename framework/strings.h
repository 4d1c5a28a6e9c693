#pragma once
// String table access and message boxes.

#include "core/text.h"

#include <windows.h>

namespace fw {

// String `id` of the resource module; empty when there is none.
core::String LoadResourceString(UINT id);

// Fills the "%s" of a format text with `argument` ("%%" gives "%").
core::String FormatText(core::StringView format, core::StringView argument);

enum class MessageButtons { Ok, YesNo };

// A message box modal to the thread's active window, captioned with the
// application name: OK with the exclamation icon, or Yes/No with the question
// icon. Returns IDOK, IDYES or IDNO.
int ShowMessage(const core::String& text, MessageButtons buttons = MessageButtons::Ok);
int ShowMessage(UINT stringId, MessageButtons buttons = MessageButtons::Ok);

} // namespace fw
