#include "account/kelo_xml_string.h"

// Placeholder until the settings work lands.
bool KeloXmlString::FindElement(core::StringView, core::String&, int&) { return false; }
bool KeloXmlString::GetValue(core::StringView, core::String&, int&) { return false; }
bool KeloXmlString::GetChild(core::StringView, KeloXmlString&, int&) { return false; }
void KeloXmlString::XmlEscape(core::String&) {}
void KeloXmlString::XmlUnescape(core::String&) {}
