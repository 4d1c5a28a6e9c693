#pragma once
// The package object: the host's set-up interface, of which this accessory
// needs nothing.

#include "framework/com.h"

#include <tarvex.h>

#include <array>

class CPackage final : public fw::ComObject<CPackage, IPackageSetup> {
public:
    static HRESULT Create(IUnknown* outer, REFIID iid, void** result) {
        return ComObject::Create(outer, iid, result);
    }
    static const std::array<fw::InterfaceEntry, 1>& Interfaces() {
        static const std::array<fw::InterfaceEntry, 1> table = {fw::InterfaceOf<CPackage, IPackageSetup>()};
        return table;
    }

    STDMETHODIMP Install() override { return E_NOTIMPL; }
    STDMETHODIMP Uninstall() override { return E_NOTIMPL; }
    STDMETHODIMP Configure(long) override { return E_NOTIMPL; }
};
