#pragma once
// The output accessory the host creates: answers the host's start-up calls,
// gives it the two-item menu, and runs the send command and the options.

#include "core/text.h"
#include "framework/com.h"
#include "framework/handles.h"

#include <tarvex.h>

#include <array>

// Address of the last post of this process (all objects share it); empty
// until a send obtains an image file.
extern core::String lastPostAddress;

class CVellumaOutput final
    : public fw::ComObject<CVellumaOutput, IComponentInitialize, IComponentWantsCategoryPreferences, IOutput2,
                           IOutputMenu, IPackageOptionsUI> {
public:
    static HRESULT Create(IUnknown* outer, REFIID iid, void** result) { return ComObject::Create(outer, iid, result); }
    static const std::array<fw::InterfaceEntry, 6>& Interfaces();

    // IComponentInitialize
    STDMETHODIMP Initialize(IUnknown* hostObject, long reserved1, long reserved2) override;
    // IComponentWantsCategoryPreferences
    STDMETHODIMP SetCategoryPreferences(ICategoryPreferences* preferences) override;
    // IOutput, IOutput2
    STDMETHODIMP Send() override;
    STDMETHODIMP Reserved2() override { return S_OK; }
    STDMETHODIMP OpenLastResult() override;
    // IOutputMenu
    STDMETHODIMP GetMenu(BSTR* menuText) override;
    STDMETHODIMP OnMenuCommand(LPCWSTR commandId) override;
    // IPackageOptionsUI
    STDMETHODIMP ShowOptionsUI() override;

    // Reads a menu command id as the host sends it: leading blanks skipped,
    // optional sign, digits up to the first other character; none gives 0.
    static long ParseCommandId(const wchar_t* text);
    static core::String MenuText();

private:
    // The send command; false when no image file could be obtained.
    bool RunSendCommand();
    core::String AcquireCaptureFile();
    HRESULT SendAndReport();

    fw::ComPtr<IAccessoryHost> host;
    core::String accessoryFolder;  // ends with a backslash, as the host gives it
    core::String dataFolder;
    core::String imagePath;
    fw::UniqueIcon largeIcon;  // 48 px, from the accessory folder; kept from the first load
};
