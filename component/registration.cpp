// DllRegisterServer / DllUnregisterServer: runs the REGISTRY resources
// through our registrar and registers the embedded type library.

#include "component/class_table.h"
#include "core/registrar_script.h"
#include "framework/com.h"
#include "framework/handles.h"
#include "framework/module.h"
#include "framework/wide.h"
#include "resources/resource.h"

#include <oleauto.h>
#include <velluma.h>

namespace component {

namespace {

const char16_t kAppId[] = u"{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}";

// The text of a REGISTRY resource (ANSI bytes; ours are plain ASCII).
core::String LoadScript(UINT id) {
    HRSRC info = ::FindResourceW(fw::ResourceModule(), MAKEINTRESOURCEW(id), L"REGISTRY");
    if (!info) return {};
    HGLOBAL data = ::LoadResource(fw::ResourceModule(), info);
    const char* bytes = data ? static_cast<const char*>(::LockResource(data)) : nullptr;
    if (!bytes) return {};
    DWORD size = ::SizeofResource(fw::ResourceModule(), info);
    return core::FromAscii(std::string_view(bytes, size));
}

HKEY RootKey(const core::String& name) {
    if (name == u"HKCR" || name == u"HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (name == u"HKCU" || name == u"HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    if (name == u"HKLM" || name == u"HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    if (name == u"HKU" || name == u"HKEY_USERS") return HKEY_USERS;
    return nullptr;
}

HRESULT SetString(HKEY key, const core::String* name, const core::String& data) {
    LONG status = ::RegSetValueExW(key, name ? fw::W(*name) : nullptr, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(fw::W(data)),
                                   static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
    return HRESULT_FROM_WIN32(status);
}

HRESULT WriteKey(HKEY parent, const core::RegistryKeyNode& node) {
    if (node.removal == core::RegistryKeyNode::Removal::ForceRemove) ::RegDeleteTreeW(parent, fw::W(node.name));
    fw::UniqueRegKey key;
    LONG status = ::RegCreateKeyExW(parent, fw::W(node.name), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    HRESULT hr = S_OK;
    if (node.defaultValue) hr = SetString(key.get(), nullptr, *node.defaultValue);
    for (size_t i = 0; SUCCEEDED(hr) && i < node.values.size(); ++i)
        hr = SetString(key.get(), &node.values[i].first, node.values[i].second);
    for (size_t i = 0; SUCCEEDED(hr) && i < node.subkeys.size(); ++i) hr = WriteKey(key.get(), node.subkeys[i]);
    return hr;
}

// Removes what the script wrote: whole keys, except NoRemove keys, which
// stay and only lose what the script put inside them.
HRESULT RemoveKey(HKEY parent, const core::RegistryKeyNode& node) {
    if (node.removal != core::RegistryKeyNode::Removal::NoRemove) {
        LONG status = ::RegDeleteTreeW(parent, fw::W(node.name));
        if (status == ERROR_SUCCESS) status = ::RegDeleteKeyW(parent, fw::W(node.name));
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
    }
    fw::UniqueRegKey key;
    LONG status = ::RegOpenKeyExW(parent, fw::W(node.name), 0, KEY_ALL_ACCESS, key.put());
    if (status == ERROR_FILE_NOT_FOUND) return S_OK;
    if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
    HRESULT hr = S_OK;
    for (const auto& value : node.values) ::RegDeleteValueW(key.get(), fw::W(value.first));
    for (const auto& subkey : node.subkeys) {
        HRESULT sub = RemoveKey(key.get(), subkey);
        if (SUCCEEDED(hr)) hr = sub;
    }
    return hr;
}

HRESULT RunScript(UINT id, bool registering) {
    const std::vector<core::RegistrarReplacement> replacements = {
        {u"APPID", kAppId},
        {u"MODULE", core::QuoteForRegistrar(fw::ModulePath())},
    };
    core::String text = LoadScript(id);
    if (text.empty()) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
    core::RegistrarParseResult parsed = core::ParseRegistrarScript(text, replacements);
    if (!parsed.script) return E_UNEXPECTED;
    HRESULT first = S_OK;
    for (const auto& root : parsed.script->roots) {
        HKEY rootKey = RootKey(root.root);
        if (!rootKey) return E_INVALIDARG;
        for (const auto& key : root.keys) {
            HRESULT hr = registering ? WriteKey(rootKey, key) : RemoveKey(rootKey, key);
            if (FAILED(hr) && SUCCEEDED(first)) first = hr;
            if (FAILED(hr) && registering) return hr;
        }
    }
    return first;
}

HRESULT RegisterTypeLibrary() {
    core::String path = fw::ModulePath();
    fw::ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadTypeLibEx(fw::W(path), REGKIND_NONE, library.put());
    if (FAILED(hr)) return hr;
    return ::RegisterTypeLib(library.get(), const_cast<LPOLESTR>(fw::W(path)), nullptr);
}

HRESULT UnregisterTypeLibrary() {
    HRESULT hr = ::UnRegisterTypeLib(LIBID_VellumaLib, 1, 0, 0x409, SYS_WIN64);
    // Not registered is what we want anyway.
    return hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY ? S_OK : hr;
}

// The registry work runs with the system's default locale as the thread
// locale, so the type library registration does not depend on the user's.
class SystemLocaleScope {
public:
    SystemLocaleScope() : previous_(::GetThreadLocale()) { ::SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~SystemLocaleScope() { ::SetThreadLocale(previous_); }

private:
    LCID previous_;
};

const UINT kClassScripts[] = {IDR_VELLUMAOUTPUT_SCRIPT, IDR_PACKAGE_SCRIPT};

} // namespace

HRESULT RegisterServer() {
    fw::ResourceScope resources;
    SystemLocaleScope locale;
    HRESULT hr = RunScript(IDR_APPID_SCRIPT, true);
    for (UINT script : kClassScripts)
        if (SUCCEEDED(hr)) hr = RunScript(script, true);
    if (SUCCEEDED(hr)) hr = RegisterTypeLibrary();
    return hr;
}

HRESULT UnregisterServer() {
    fw::ResourceScope resources;
    SystemLocaleScope locale;
    HRESULT first = S_OK;
    auto keep = [&](HRESULT hr) { if (FAILED(hr) && SUCCEEDED(first)) first = hr; };
    for (UINT script : kClassScripts) keep(RunScript(script, false));
    keep(UnregisterTypeLibrary());
    keep(RunScript(IDR_APPID_SCRIPT, false));
    return first;
}

} // namespace component
