#include "tools/tarvex-sim/host_objects.h"

#include "tools/tarvex-sim/capture_image.h"
#include "tools/tarvex-sim/event_log.h"

#include <atomic>

namespace sim {

namespace {

// A host object: reference counted, QueryInterface answered by Find().
// The component calls us on the user-interface thread only, but Release may
// come from anywhere COM likes; the count is atomic.
template <class... Interfaces>
class HostObject : public Interfaces... {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** result) override {
        if (!result) return E_POINTER;
        *result = Find(iid);
        if (!*result) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~HostObject() = default;
    virtual void* Find(REFIID iid) = 0;

private:
    std::atomic<ULONG> refs_{1};
};

std::string Bstr(BSTR* text) { return text ? Arg(*text) : std::string("null"); }

// The file options object: opaque to the component, handed back to SaveImage.
class FileOptions final : public HostObject<IUnknown> {
    void* Find(REFIID iid) override { return iid == IID_IUnknown ? static_cast<IUnknown*>(this) : nullptr; }
};

IUnknown* SharedOptions() {
    static IUnknown* options = new FileOptions();  // lives as long as the process
    return options;
}

class CaptureDocument final : public HostObject<ICaptureDocument, ICaptureImageWriter> {
public:
    explicit CaptureDocument(const HostConfig& config) : config_(config) {}

    STDMETHODIMP SaveImage(BSTR* path, long fileType, IUnknown* options) override {
        std::string optionsArg = !options ? "null" : options == SharedOptions() ? "\"FileOptions\"" : "\"other object\"";
        Log().Call("ICaptureImageWriter", "SaveImage", {Bstr(path), Arg(fileType), optionsArg});
        if (!path) return E_POINTER;
        if (config_.saveFail) return E_FAIL;
        const std::wstring target = config_.saveRedirect.empty() ? std::wstring(*path ? *path : L"") : config_.saveRedirect;
        if (!WriteCapture(target, fileType, config_.captureWidth, config_.captureHeight))
            return fileType == 0 || (fileType >= 2 && fileType <= 5) ? E_FAIL : E_INVALIDARG;
        if (!config_.saveRedirect.empty()) {
            BSTR changed = ::SysAllocString(target.c_str());
            if (!changed) return E_OUTOFMEMORY;
            ::SysFreeString(*path);  // the caller's string is ours to replace
            *path = changed;
        }
        return S_OK;
    }

private:
    void* Find(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_ICaptureDocument) return static_cast<ICaptureDocument*>(this);
        if (iid == IID_ICaptureImageWriter) return static_cast<ICaptureImageWriter*>(this);
        return nullptr;
    }
    const HostConfig& config_;
};

class OutputSettings final : public HostObject<IOutputFileSettings> {
public:
    explicit OutputSettings(const HostConfig& config) : config_(config) {}

    STDMETHODIMP GetFileType(long* fileType) override {
        Log().Call("IOutputFileSettings", "GetFileType");
        if (!fileType) return E_POINTER;
        *fileType = config_.fileType;
        return S_OK;
    }
    STDMETHODIMP Reserved4() override {
        Log().Call("IOutputFileSettings", "Reserved4");
        return E_NOTIMPL;
    }
    STDMETHODIMP GetFileOptions(IUnknown** options) override {
        Log().Call("IOutputFileSettings", "GetFileOptions");
        if (!options) return E_POINTER;
        *options = SharedOptions();
        (*options)->AddRef();
        return S_OK;
    }

private:
    void* Find(REFIID iid) override {
        return iid == IID_IUnknown || iid == IID_IOutputFileSettings ? static_cast<IOutputFileSettings*>(this) : nullptr;
    }
    const HostConfig& config_;
};

class Host final : public HostObject<IAccessoryHost, IAlertService> {
public:
    explicit Host(const HostConfig& config) : config_(config) {}

    // IAccessoryHost
    STDMETHODIMP GetDocument(IUnknown** document) override {
        Log().Call("IAccessoryHost", "GetDocument");
        if (!document) return E_POINTER;
        *document = static_cast<ICaptureDocument*>(new CaptureDocument(config_));
        return S_OK;
    }
    STDMETHODIMP GetOutputSettings(IUnknown** settings) override {
        Log().Call("IAccessoryHost", "GetOutputSettings");
        if (!settings) return E_POINTER;
        *settings = new OutputSettings(config_);
        return S_OK;
    }
    STDMETHODIMP Reserved3() override {
        Log().Call("IAccessoryHost", "Reserved3");
        return E_NOTIMPL;
    }
    STDMETHODIMP GetMainWindow(HWND* window) override {
        Log().Call("IAccessoryHost", "GetMainWindow");
        if (!window) return E_POINTER;
        *window = config_.mainWindow;
        return S_OK;
    }

    // IAlertService (only answered with --alert)
    STDMETHODIMP Reserved5() override {
        Log().Call("IAlertService", "Reserved5");
        return E_NOTIMPL;
    }
    STDMETHODIMP Reserved6() override {
        Log().Call("IAlertService", "Reserved6");
        return E_NOTIMPL;
    }
    STDMETHODIMP SetResultAddress(long resultId, BSTR* address) override {
        Log().Call("IAlertService", "SetResultAddress", {Arg(resultId), Bstr(address)});
        return S_OK;
    }
    STDMETHODIMP ShowAlert(BSTR* title, BSTR* text, BSTR* iconPath, long kind, BSTR* link) override {
        Log().Call("IAlertService", "ShowAlert", {Bstr(title), Bstr(text), Bstr(iconPath), Arg(kind), Bstr(link)});
        return S_OK;
    }

private:
    void* Find(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IAccessoryHost) return static_cast<IAccessoryHost*>(this);
        if (iid == IID_IAlertService && config_.alert) return static_cast<IAlertService*>(this);
        return nullptr;
    }
    const HostConfig& config_;
};

class Preferences final : public HostObject<ICategoryPreferences> {
public:
    explicit Preferences(const HostConfig& config) : config_(config) {}

    STDMETHODIMP Reserved1() override {
        Log().Call("ICategoryPreferences", "Reserved1");
        return E_NOTIMPL;
    }
    STDMETHODIMP GetAccessoryFolder(BSTR* folder) override {
        Log().Call("ICategoryPreferences", "GetAccessoryFolder");
        return Give(config_.accessoryFolder, folder);
    }
    STDMETHODIMP GetDataFolder(BSTR* folder) override {
        Log().Call("ICategoryPreferences", "GetDataFolder");
        return Give(config_.dataFolder, folder);
    }

private:
    static HRESULT Give(const std::wstring& text, BSTR* out) {
        if (!out) return E_POINTER;
        *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));  // the component frees it
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    void* Find(REFIID iid) override {
        return iid == IID_IUnknown || iid == IID_ICategoryPreferences ? static_cast<ICategoryPreferences*>(this) : nullptr;
    }
    const HostConfig& config_;
};

} // namespace

IAccessoryHost* CreateHost(const HostConfig& config) { return new Host(config); }
ICategoryPreferences* CreatePreferences(const HostConfig& config) { return new Preferences(config); }

} // namespace sim
