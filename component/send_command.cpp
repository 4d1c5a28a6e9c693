// The send command: has the host write the capture to a temporary image
// file, hands it to a BlogPostSession, and reports a published post through
// the host's alert service or our own notice.

#include "account/blog_post_session.h"
#include "component/shell.h"
#include "component/velluma_output.h"
#include "framework/module.h"
#include "framework/strings.h"
#include "framework/wide.h"
#include "notice/toaster_popup_wnd.h"
#include "resources/resource.h"

#include <memory>

namespace {

struct ImageFileType {
    const char16_t* extension;
    long saveType;
};

// The host's file type code decides the file's type and extension; codes
// for formats blogs do not take (1, and everything outside 0..5) become PNG.
ImageFileType ImageTypeFor(long hostCode) {
    switch (hostCode) {
    case 0: return {u".bmp", 0};
    case 2: return {u".tif", 2};
    case 3: return {u".jpg", 3};
    case 4: return {u".gif", 4};
    default: return {u".png", 5};
    }
}

// The temporary file's path with its ".tmp" extension replaced. Only the
// file name's extension changes: a ".tmp" inside a folder name stays.
core::String WithExtension(const core::String& path, const char16_t* extension) {
    size_t nameStart = path.find_last_of(u"\\/");
    nameStart = nameStart == core::String::npos ? 0 : nameStart + 1;
    size_t dot = path.rfind(u'.');
    core::String result = (dot != core::String::npos && dot >= nameStart) ? path.substr(0, dot) : path;
    return result + extension;
}

bool FileExists(const core::String& path) {
    DWORD attributes = ::GetFileAttributesW(fw::W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

// The address as the notice shows it: every "www", then every "http://"
// removed, wherever they stand (an https address keeps its scheme).
core::String DisplayAddress(core::String address) {
    core::ReplaceAll(address, u"www", u"");
    core::ReplaceAll(address, u"http://", u"");
    return address;
}

core::String CVellumaOutput::AcquireCaptureFile() {
    fw::ComPtr<IUnknown> documentObject, settingsObject;
    host->GetDocument(documentObject.put());
    host->GetOutputSettings(settingsObject.put());
    auto document = documentObject.TryQuery<ICaptureDocument>();
    auto settings = settingsObject.TryQuery<IOutputFileSettings>();
    if (!document || !settings) return {};

    long hostType = 5;  // PNG when the host cannot say
    if (FAILED(settings->GetFileType(&hostType))) hostType = 5;
    fw::ComPtr<IUnknown> options;
    settings->GetFileOptions(options.put());
    auto writer = document.TryQuery<ICaptureImageWriter>();
    if (!writer) return {};

    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t tempFile[MAX_PATH + 1] = {};
    if (!::GetTempPathW(MAX_PATH, folder) || !::GetTempFileNameW(folder, L"VellumaExt", 0, tempFile)) return {};
    const core::String placeholder = fw::FromWide(tempFile);

    const ImageFileType type = ImageTypeFor(hostType);
    fw::UniqueBstr path = fw::MakeBstr(WithExtension(placeholder, type.extension));
    BSTR inOut = path.release();
    writer->SaveImage(&inOut, type.saveType, options.get());
    path.reset(inOut);
    ::DeleteFileW(fw::W(placeholder));

    core::String written = fw::FromBstr(path.get());
    // A host that wrote nothing leaves a send that can only fail later:
    // treat it like a missing capture.
    if (!FileExists(written)) return {};
    return written;
}

bool CVellumaOutput::RunSendCommand() {
    fw::ResourceScope resources;
    auto alerts = host.TryQuery<IAlertService>();

    imagePath = AcquireCaptureFile();
    if (imagePath.empty()) return false;

    HWND hostWindow = nullptr;
    host->GetMainWindow(&hostWindow);
    // Shared icon from our resources (LR_SHARED): the system keeps it.
    HICON smallIcon = static_cast<HICON>(::LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(IDI_EDITOR_SMALL),
                                                      IMAGE_ICON, 16, 16, LR_SHARED));

    BlogPostSession session;
    session.Setup(kServiceVelluma, accessoryFolder, dataFolder, imagePath, hostWindow, smallIcon);
    session.LogInAndEdit();
    lastPostAddress = session.GetPostAddress();
    if (lastPostAddress.empty()) return true;

    if (alerts) {
        fw::UniqueBstr address = fw::MakeBstr(lastPostAddress);
        BSTR raw = address.get();
        alerts->SetResultAddress(-1, &raw);
    }

    const core::String title = fw::LoadResourceString(IDS_POST_COMPLETE_TITLE);
    const core::String shown = DisplayAddress(lastPostAddress);
    if (alerts) {
        fw::UniqueBstr titleText = fw::MakeBstr(title);
        fw::UniqueBstr text = fw::MakeBstr(shown);
        fw::UniqueBstr iconPath = fw::MakeBstr(accessoryFolder + u"Velluma.ico");
        fw::UniqueBstr link = fw::MakeBstr(lastPostAddress);
        BSTR titleRaw = titleText.get(), textRaw = text.get(), iconRaw = iconPath.get(), linkRaw = link.get();
        alerts->ShowAlert(&titleRaw, &textRaw, &iconRaw, 1, &linkRaw);
    } else {
        // Ours until Show(): a copy that fails on the way destroys the hidden
        // window (and its module lock) with it. From Show() on the notice
        // deletes itself when it has run its course.
        auto toast = std::make_unique<CToasterPopupWnd>(4000, 400, 100, 500);
        toast->onClick = [](const core::String& link) { ShellOpen(link); };
        toast->SetLink(lastPostAddress);
        toast->SetTitle(title);
        toast->SetText(shown);
        toast->linkStyle = 1;
        toast->icon = largeIcon.get();
        toast.release()->Show();
    }

    ForceForegroundWindow(hostWindow);
    return true;
}
