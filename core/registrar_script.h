#pragma once
// Parser of the registrar scripts that describe the component's registry
// keys (the REGISTRY resources):
//
//     HKCR
//     {
//         NoRemove CLSID
//         {
//             ForceRemove {9AB4...} = s 'VellumaOutput Class'
//             {
//                 val AppID = s '%APPID%'
//                 InprocServer32 = s '%MODULE%'
//             }
//         }
//     }
//
// A key is a bare or 'quoted' name (a quote inside quotes is doubled),
// optionally marked NoRemove (never deleted on unregistration) or
// ForceRemove (deleted with its subkeys before it is written), optionally
// given a default string value (= s 'text'), and optionally followed by a
// block of subkeys and named values (val NAME = s 'text'). Only string values
// exist in our scripts; other value types are refused.

#include "core/text.h"

#include <optional>
#include <utility>
#include <vector>

namespace core {

struct RegistryKeyNode {
    enum class Removal { Normal, NoRemove, ForceRemove };
    String name;
    Removal removal = Removal::Normal;
    std::optional<String> defaultValue;
    std::vector<std::pair<String, String>> values;  // name, string data
    std::vector<RegistryKeyNode> subkeys;
};

struct RegistryRootNode {
    String root;  // "HKCR", "HKEY_CLASSES_ROOT", "HKCU", "HKLM", ...
    std::vector<RegistryKeyNode> keys;
};

struct RegistrarScript {
    std::vector<RegistryRootNode> roots;
};

struct RegistrarParseResult {
    std::optional<RegistrarScript> script;
    String error;  // with the line number, when script is empty
};

// A replacement such as {"APPID", "{1A74...}"} for "%APPID%".
using RegistrarReplacement = std::pair<String, String>;

// Applies the %NAME% replacements to the script text, then parses it.
// "%%" stands for one percent sign; an unknown %NAME% is an error.
RegistrarParseResult ParseRegistrarScript(StringView text, const std::vector<RegistrarReplacement>& replacements);

// Doubles every single quote, for values placed inside 'quoted' text.
String QuoteForRegistrar(StringView text);

} // namespace core
