// Velluma.dll as the host and regsvr32 see it: its exports, class factories,
// aggregation, unloading and registration.

#include "framework/com.h"
#include "framework/module.h"

#include <gtest/gtest.h>

#include <tarvex.h>
#include <velluma.h>

#include <string>

namespace {

using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
using PlainFn = HRESULT(__stdcall*)();

class VellumaDll : public ::testing::Test {
protected:
    void SetUp() override {
        ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        module = ::LoadLibraryW(L"Velluma.dll");
        ASSERT_NE(module, nullptr) << "Velluma.dll must lie next to the test program";
        getClassObject = fw::ProcAddress<GetClassObjectFn>(module, "DllGetClassObject");
        canUnloadNow = fw::ProcAddress<PlainFn>(module, "DllCanUnloadNow");
        registerServer = fw::ProcAddress<PlainFn>(module, "DllRegisterServer");
        unregisterServer = fw::ProcAddress<PlainFn>(module, "DllUnregisterServer");
        ASSERT_TRUE(getClassObject && canUnloadNow && registerServer && unregisterServer);
    }
    void TearDown() override {
        if (module) ::FreeLibrary(module);
        ::CoUninitialize();
    }

    fw::ComPtr<IClassFactory> Factory(REFCLSID clsid) {
        fw::ComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject(clsid, IID_IClassFactory, factory.put_void()), S_OK);
        return factory;
    }

    HMODULE module = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    PlainFn canUnloadNow = nullptr;
    PlainFn registerServer = nullptr;
    PlainFn unregisterServer = nullptr;
};

// An outer object that aggregates the output accessory and counts the
// QueryInterface calls that reach it.
class Outer final : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
        ++queries;
        if (iid == IID_IUnknown) {
            *result = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return inner ? inner->QueryInterface(iid, result) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    IUnknown* inner = nullptr;
    int queries = 0;
    ULONG refs = 1;
};

} // namespace

TEST_F(VellumaDll, ClassObjectArguments) {
    EXPECT_EQ(getClassObject(CLSID_VellumaOutput, IID_IClassFactory, nullptr), E_POINTER);
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(getClassObject(IID_IUnknown, IID_IClassFactory, &object), static_cast<HRESULT>(0x80040111));
    EXPECT_EQ(object, nullptr);
    // The factory is made once and kept.
    auto first = Factory(CLSID_VellumaOutput);
    auto second = Factory(CLSID_VellumaOutput);
    EXPECT_EQ(first.get(), second.get());
}

TEST_F(VellumaDll, PackageAnswersNotImplemented) {
    fw::ComPtr<IPackageSetup> package;
    ASSERT_EQ(Factory(CLSID_Package)->CreateInstance(nullptr, __uuidof(IPackageSetup), package.put_void()), S_OK);
    EXPECT_EQ(package->Install(), E_NOTIMPL);
    EXPECT_EQ(package->Uninstall(), E_NOTIMPL);
    EXPECT_EQ(package->Configure(1), E_NOTIMPL);
}

TEST_F(VellumaDll, OutputAnswersItsInterfacesWithOneIdentity) {
    fw::ComPtr<IUnknown> unknown;
    ASSERT_EQ(Factory(CLSID_VellumaOutput)->CreateInstance(nullptr, IID_IUnknown, unknown.put_void()), S_OK);
    auto init = unknown.TryQuery<IComponentInitialize>();
    ASSERT_TRUE(init);
    // The identity is the IComponentInitialize pointer.
    EXPECT_EQ(static_cast<void*>(unknown.get()), static_cast<void*>(init.get()));
    EXPECT_TRUE(unknown.TryQuery<IComponentWantsCategoryPreferences>());
    EXPECT_TRUE(unknown.TryQuery<IOutput>());
    EXPECT_TRUE(unknown.TryQuery<IOutput2>());
    EXPECT_TRUE(unknown.TryQuery<IOutputMenu>());
    EXPECT_TRUE(unknown.TryQuery<IPackageOptionsUI>());
    EXPECT_FALSE(unknown.TryQuery<IPackageSetup>());
    auto menu = unknown.TryQuery<IOutputMenu>();
    fw::ComPtr<IUnknown> back;
    ASSERT_EQ(menu->QueryInterface(IID_IUnknown, back.put_void()), S_OK);
    EXPECT_EQ(back.get(), unknown.get());
}

TEST_F(VellumaDll, AggregatedObjectAnswersThroughItsOuterObject) {
    Outer outer;
    IUnknown* inner = nullptr;
    auto factory = Factory(CLSID_VellumaOutput);
    // Aggregation hands out only the inner IUnknown.
    void* refused = nullptr;
    EXPECT_EQ(factory->CreateInstance(&outer, __uuidof(IOutputMenu), &refused), CLASS_E_NOAGGREGATION);
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    outer.inner = inner;
    IOutputMenu* menu = nullptr;
    ASSERT_EQ(inner->QueryInterface(__uuidof(IOutputMenu), reinterpret_cast<void**>(&menu)), S_OK);
    const int before = outer.queries;
    IUnknown* identity = nullptr;
    ASSERT_EQ(menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.queries, before + 1);
    identity->Release();
    menu->Release();  // goes to the outer object's count
    EXPECT_EQ(canUnloadNow(), S_FALSE);  // the inner object still holds its module lock
    inner->Release();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(VellumaDll, UnloadsOnlyWhenNothingIsAlive) {
    EXPECT_EQ(canUnloadNow(), S_OK);
    {
        fw::ComPtr<IOutputMenu> menu;
        ASSERT_EQ(Factory(CLSID_VellumaOutput)->CreateInstance(nullptr, __uuidof(IOutputMenu), menu.put_void()), S_OK);
        EXPECT_EQ(canUnloadNow(), S_FALSE);
    }
    EXPECT_EQ(canUnloadNow(), S_OK);
    auto factory = Factory(CLSID_Package);
    factory->LockServer(TRUE);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    factory->LockServer(FALSE);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(VellumaDll, MenuTextAndCommandsWithoutAHost) {
    fw::ComPtr<IOutputMenu> menu;
    ASSERT_EQ(Factory(CLSID_VellumaOutput)->CreateInstance(nullptr, __uuidof(IOutputMenu), menu.put_void()), S_OK);
    fw::UniqueBstr text;
    ASSERT_EQ(menu->GetMenu(text.put()), S_OK);
    EXPECT_EQ(fw::FromBstr(text.get()),
              u"<menu> <menuitem label=\"Send to Velluma Blog\" id=\"0\" icon=\"Velluma.ico\" />"
              u"<menuseparator /> <menuitem label=\"Options\" id=\"1\" /></menu>");
    EXPECT_EQ(menu->GetMenu(nullptr), E_POINTER);
    // Without Initialize there is no host: the commands that need one fail
    // quietly, the others do nothing.
    EXPECT_EQ(menu->OnMenuCommand(L"0"), E_FAIL);
    EXPECT_EQ(menu->OnMenuCommand(L"1"), E_FAIL);
    EXPECT_EQ(menu->OnMenuCommand(L"2"), S_OK);
    EXPECT_EQ(menu->OnMenuCommand(L"-1"), S_OK);
    fw::ComPtr<IOutput> output = menu.TryQuery<IOutput>();
    EXPECT_EQ(output->Send(), E_FAIL);
    EXPECT_EQ(output->Reserved2(), S_OK);
}

// Registration writes the shared registry of the prefix; ctest runs this
// test alone (RESOURCE_LOCK registry).
TEST_F(VellumaDll, RegistersAndUnregistersEverything) {
    const wchar_t* clsidKey = L"CLSID\\{9AB40107-F686-4c1b-833B-9F62832EAD8A}";
    auto exists = [](const wchar_t* path) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        ::RegCloseKey(key);
        return true;
    };
    auto read = [](const wchar_t* path, const wchar_t* name) {
        wchar_t buffer[512] = {};
        DWORD size = sizeof buffer;
        if (::RegGetValueW(HKEY_CLASSES_ROOT, path, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return std::wstring(L"<missing>");
        return std::wstring(buffer);
    };

    ASSERT_EQ(registerServer(), S_OK);
    // A stray subkey under the class key goes with the next registration (ForceRemove).
    HKEY stray = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CLASSES_ROOT, (std::wstring(clsidKey) + L"\\Stray").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &stray, nullptr), ERROR_SUCCESS);
    ::RegCloseKey(stray);
    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_FALSE(exists((std::wstring(clsidKey) + L"\\Stray").c_str()));

    EXPECT_EQ(read(clsidKey, nullptr), L"VellumaOutput Class");
    EXPECT_EQ(read(clsidKey, L"AppID"), L"{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}");
    EXPECT_EQ(read((std::wstring(clsidKey) + L"\\ProgID").c_str(), nullptr), L"Velluma.VellumaOutput.1");
    EXPECT_EQ(read((std::wstring(clsidKey) + L"\\VersionIndependentProgID").c_str(), nullptr), L"Velluma.VellumaOutput");
    EXPECT_EQ(read((std::wstring(clsidKey) + L"\\InprocServer32").c_str(), L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(read((std::wstring(clsidKey) + L"\\TypeLib").c_str(), nullptr), L"{3EC0485E-2819-482A-A879-ED903FEB3078}");
    wchar_t modulePath[MAX_PATH] = {};
    ::GetModuleFileNameW(module, modulePath, MAX_PATH);
    EXPECT_EQ(read((std::wstring(clsidKey) + L"\\InprocServer32").c_str(), nullptr), modulePath);
    EXPECT_EQ(read(L"Velluma.VellumaOutput", nullptr), L"VellumaOutput Class");
    EXPECT_EQ(read(L"Velluma.VellumaOutput\\CurVer", nullptr), L"Velluma.VellumaOutput.1");
    EXPECT_EQ(read(L"Velluma.VellumaOutput.1\\CLSID", nullptr), L"{9AB40107-F686-4c1b-833B-9F62832EAD8A}");
    EXPECT_EQ(read(L"Velluma.Package.1", nullptr), L"Package Class");
    EXPECT_EQ(read(L"CLSID\\{554FE262-8C09-4587-91FB-A97A47F545CD}\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(read(L"AppID\\{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}", nullptr), L"Velluma");
    EXPECT_EQ(read(L"AppID\\Velluma.DLL", L"AppID"), L"{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}");
    EXPECT_EQ(read(L"TypeLib\\{3EC0485E-2819-482A-A879-ED903FEB3078}\\1.0", nullptr), L"Velluma 1.0 Type Library");

    // Activation through the registration, by CLSID and by ProgID.
    fw::ComPtr<IOutputMenu> byClsid;
    EXPECT_EQ(::CoCreateInstance(CLSID_VellumaOutput, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IOutputMenu), byClsid.put_void()), S_OK);
    CLSID fromProgId{};
    EXPECT_EQ(::CLSIDFromProgID(L"Velluma.VellumaOutput", &fromProgId), S_OK);
    EXPECT_TRUE(IsEqualCLSID(fromProgId, CLSID_VellumaOutput));
    byClsid.reset();
    ::CoFreeUnusedLibraries();

    ASSERT_EQ(unregisterServer(), S_OK);
    for (const wchar_t* gone : {L"CLSID\\{9AB40107-F686-4c1b-833B-9F62832EAD8A}", L"CLSID\\{554FE262-8C09-4587-91FB-A97A47F545CD}",
                                L"Velluma.VellumaOutput", L"Velluma.VellumaOutput.1", L"Velluma.Package", L"Velluma.Package.1",
                                L"AppID\\{1A741FBB-8EBB-445B-8B75-0A9FA35200B8}", L"AppID\\Velluma.DLL",
                                L"TypeLib\\{3EC0485E-2819-482A-A879-ED903FEB3078}"})
        EXPECT_FALSE(exists(gone)) << std::string(gone, gone + wcslen(gone));
    EXPECT_TRUE(exists(L"AppID"));
    EXPECT_TRUE(exists(L"CLSID"));
}
