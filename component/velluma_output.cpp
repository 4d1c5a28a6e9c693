#include "component/velluma_output.h"

#include "account/blog_post_session.h"
#include "component/shell.h"
#include "framework/module.h"
#include "framework/strings.h"
#include "framework/wide.h"
#include "resources/resource.h"

core::String lastPostAddress;

const std::array<fw::InterfaceEntry, 6>& CVellumaOutput::Interfaces() {
    // The first row is the object's IUnknown identity.
    static const std::array<fw::InterfaceEntry, 6> table = {
        fw::InterfaceOf<CVellumaOutput, IComponentInitialize>(),
        fw::InterfaceOf<CVellumaOutput, IComponentWantsCategoryPreferences>(),
        fw::InterfaceOf<CVellumaOutput, IOutputMenu>(),
        fw::InterfaceOf<CVellumaOutput, IOutput2>(),
        fw::InterfaceOf<CVellumaOutput, IOutput>(),
        fw::InterfaceOf<CVellumaOutput, IPackageOptionsUI>(),
    };
    return table;
}

STDMETHODIMP CVellumaOutput::Initialize(IUnknown* hostObject, long, long) {
    if (!hostObject) return E_POINTER;
    // A second Initialize replaces the host; the old reference is released.
    fw::ComPtr<IAccessoryHost> newHost;
    HRESULT hr = hostObject->QueryInterface(__uuidof(IAccessoryHost), newHost.put_void());
    host = newHost;
    return hr;
}

STDMETHODIMP CVellumaOutput::SetCategoryPreferences(ICategoryPreferences* preferences) {
    return fw::ComBoundary([&] {
        if (!preferences) return S_OK;
        fw::ResourceScope resources;
        fw::UniqueBstr accessory, data;
        preferences->GetAccessoryFolder(accessory.put());
        preferences->GetDataFolder(data.put());
        accessoryFolder = fw::FromBstr(accessory.get());
        dataFolder = fw::FromBstr(data.get());
        if (!largeIcon) {
            core::String iconPath = accessoryFolder;
            if (iconPath.empty() || iconPath.back() != u'\\') iconPath += u'\\';
            iconPath += u"Velluma.ico";
            largeIcon.reset(static_cast<HICON>(
                ::LoadImageW(nullptr, fw::W(iconPath), IMAGE_ICON, 48, 48, LR_LOADFROMFILE)));
        }
        return S_OK;
    });
}

HRESULT CVellumaOutput::SendAndReport() {
    if (!host) return E_FAIL;
    fw::ResourceScope resources;
    if (RunSendCommand()) return S_OK;
    fw::ShowMessage(IDS_SEND_FAILED);
    return E_FAIL;
}

STDMETHODIMP CVellumaOutput::Send() {
    return fw::ComBoundary([&] { return SendAndReport(); });
}

STDMETHODIMP CVellumaOutput::OpenLastResult() {
    return fw::ComBoundary([&] {
        ShellOpen(lastPostAddress);
        return S_OK;
    });
}

core::String CVellumaOutput::MenuText() {
    core::String text = u"<menu>";
    text += u" <menuitem label=\"";
    text += fw::LoadResourceString(IDS_SEND_MENU_LABEL);
    text += u"\" id=\"0\" icon=\"Velluma.ico\" />";
    text += u"<menuseparator />";
    text += u" <menuitem label=\"";
    text += fw::LoadResourceString(IDS_OPTIONS_MENU_LABEL);
    text += u"\" id=\"1\" />";
    text += u"</menu>";
    return text;
}

STDMETHODIMP CVellumaOutput::GetMenu(BSTR* menuText) {
    return fw::ComBoundary([&] {
        if (!menuText) return E_POINTER;
        fw::ResourceScope resources;
        *menuText = fw::MakeBstr(MenuText()).release();
        return S_OK;
    });
}

long CVellumaOutput::ParseCommandId(const wchar_t* text) {
    if (!text) return 0;
    while (*text == L' ' || *text == L'\t' || *text == L'\n' || *text == L'\r' || *text == L'\v' || *text == L'\f') ++text;
    bool negative = false;
    if (*text == L'+' || *text == L'-') negative = *text++ == L'-';
    long value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) {
        if (value > 100000000L) break;  // far beyond any command; stop before overflow
        value = value * 10 + (*text - L'0');
    }
    return negative ? -value : value;
}

STDMETHODIMP CVellumaOutput::OnMenuCommand(LPCWSTR commandId) {
    return fw::ComBoundary([&] {
        switch (ParseCommandId(commandId)) {
        case 0:
            return SendAndReport();
        case 1:
            return ShowOptionsUI();
        default:
            return S_OK;
        }
    });
}

STDMETHODIMP CVellumaOutput::ShowOptionsUI() {
    return fw::ComBoundary([&] {
        if (!host) return E_FAIL;
        fw::ResourceScope resources;
        HWND owner = nullptr;
        host->GetMainWindow(&owner);
        BlogPostSession session;
        session.ShowOptions(kServiceVelluma, dataFolder, owner);
        return S_OK;
    });
}
