#include "component/class_table.h"

#include "component/package.h"
#include "component/velluma_output.h"
#include "framework/com.h"
#include "resources/resource.h"

#include <velluma.h>

#include <iterator>
#include <memory>

namespace component {

namespace {

using CreateFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** result);

// A class factory that stays cached for the module's lifetime. It holds no
// module lock of its own (a cached factory would otherwise keep the module
// loaded for ever); LockServer does.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
        if (!result) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *result = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *result = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override { return ::InterlockedDecrement(&refs_); }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** result) override {
        return fw::ComBoundary([&] { return create_(outer, iid, result); });
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) fw::ModuleLock::Add();
        else fw::ModuleLock::Release();
        return S_OK;
    }

private:
    CreateFunction create_;
    volatile LONG refs_ = 0;  // the table owns the object; counts are informative
};

struct ClassEntry {
    const CLSID* clsid;
    UINT registryScript;
    CreateFunction create;
    std::unique_ptr<ClassFactory> factory;  // made on first request, kept until unload
};

ClassEntry gClasses[] = {
    {&CLSID_VellumaOutput, IDR_VELLUMAOUTPUT_SCRIPT, &CVellumaOutput::Create, nullptr},
    {&CLSID_Package, IDR_PACKAGE_SCRIPT, &CPackage::Create, nullptr},
};

// Serialises the first creation of each factory.
struct FactoryLock {
    FactoryLock() { ::InitializeCriticalSection(&section); }
    ~FactoryLock() { ::DeleteCriticalSection(&section); }
    CRITICAL_SECTION section;
} gFactoryLock;

} // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** result) {
    if (!result) return E_POINTER;
    *result = nullptr;
    for (ClassEntry& entry : gClasses) {
        if (*entry.clsid != clsid) continue;
        ::EnterCriticalSection(&gFactoryLock.section);
        if (!entry.factory) entry.factory.reset(new (std::nothrow) ClassFactory(entry.create));
        ClassFactory* factory = entry.factory.get();
        ::LeaveCriticalSection(&gFactoryLock.section);
        if (!factory) return E_OUTOFMEMORY;
        return factory->QueryInterface(iid, result);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

bool CanUnload() {
    return fw::ModuleLock::Count() == 0;
}

void ReleaseClassFactories() {
    for (ClassEntry& entry : gClasses) entry.factory.reset();
}

} // namespace component
