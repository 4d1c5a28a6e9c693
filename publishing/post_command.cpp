// The editor's Post command: the body streamed out as RTF and converted to
// HTML, the image tag placed as the image toolbar says, and the whole handed
// to the publishing library with the title, the draft switch and the blog.

#include "editor/blog_output_dlg.h"
#include "framework/gdiplus_session.h"
#include "framework/strings.h"
#include "framework/wide.h"
#include "publishing/publish_library.h"
#include "resources/resource.h"
#include "rtfhtml/rtf_html_converter.h"

#include <gdiplus.h>

#include <string>

namespace {

constexpr int kMaxImageWidth = 320;
constexpr DWORD kSettleMs = 100;  // before and after the result is looked at
constexpr int kPublishNothing = 1;
constexpr char16_t kDebugFolder[] = u"c:\\DebugBlogHTML";

struct ImageTag {
    int command;
    const char16_t* opening;
    const char16_t* closing;
    bool afterBody;
};

// The two "%s" stay in the text: the library puts the uploaded image's
// address in their place.
constexpr ImageTag kImageTags[] = {
    {ID_IMAGE_LEFT, u"<a href=\"%s\"><img src = \"%s\" align = \"left\" ", u" hspace = \"20\" /></a>", false},
    {ID_IMAGE_RIGHT, u"<a href=\"%s\"><img src = \"%s\" align = \"right\" ", u" hspace = \"20\" /></a>", false},
    {ID_IMAGE_TOP, u"<p align = \"center\"><a href=\"%s\"><img src = \"%s\" ", u" hspace=\"6\" /></a></p>", false},
    {ID_IMAGE_BOTTOM, u"<p align = \"center\"><a href=\"%s\"><img src = \"%s\" ", u" hspace=\"6\" /></a></p>", true},
};

core::String FromAnsi(const std::string& bytes) {
    if (bytes.empty()) return {};
    int length = ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), length);
    return fw::FromWide(wide.data(), wide.size());
}

bool IsFolder(const core::String& path) {
    DWORD attributes = ::GetFileAttributesW(fw::W(path));
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates or overwrites `path`; a file that cannot be written is skipped.
void WriteFileBytes(const core::String& path, const std::string& bytes) {
    fw::UniqueFile file(::CreateFileW(fw::W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

} // namespace

core::String CBlogOutputDlg::ImageSizeText(const core::String& path) {
    fw::GdiplusSession gdiplus;
    if (!gdiplus.Started()) return {};
    Gdiplus::GpImage* image = nullptr;
    if (Gdiplus::DllExports::GdipLoadImageFromFile(fw::W(path), &image) != Gdiplus::Ok || !image) return {};
    UINT widthRead = 0, heightRead = 0;
    Gdiplus::DllExports::GdipGetImageWidth(image, &widthRead);
    Gdiplus::DllExports::GdipGetImageHeight(image, &heightRead);
    Gdiplus::DllExports::GdipDisposeImage(image);

    long long width = widthRead, height = heightRead;
    if (widthRead > static_cast<UINT>(kMaxImageWidth) && heightRead > 0) {
        // Single precision on purpose: 640 by 480 must give 240, not 239.
        const float ratio = static_cast<float>(widthRead) / static_cast<float>(heightRead);
        const float scaled = static_cast<float>(kMaxImageWidth) / ratio;
        width = kMaxImageWidth;
        height = static_cast<long long>(scaled);
    }
    return u"height=\"" + core::DecimalText(height) + u"\" width=\"" + core::DecimalText(width) + u"\"";
}

core::String CBlogOutputDlg::WithImageTag(const core::String& bodyHtml, const core::String& sizeText,
                                          int imageCommand) {
    const ImageTag* tag = &kImageTags[0];  // Align Image Left also when none is checked
    for (const ImageTag& row : kImageTags) {
        if (row.command == imageCommand) tag = &row;
    }
    const core::String imageTag = tag->opening + sizeText + tag->closing;
    return tag->afterBody ? bodyHtml + imageTag : imageTag + bodyHtml;
}

void CBlogOutputDlg::OnPost() {
    rtfText.clear();
    std::string rtfBytes = body.StreamOutRtf();
    // The control ends its stream with a NUL byte; it is no part of the RTF.
    while (!rtfBytes.empty() && rtfBytes.back() == '\0') rtfBytes.pop_back();
    rtfText = FromAnsi(rtfBytes);

    rtfText = RtfHtmlConverter::TrimFinalParagraph(rtfText);
    RtfHtmlConverter converter;
    htmlBody = converter.Convert(rtfText, u"\\pard", true);

    int checkedImage = 0;
    for (const ImageTag& row : kImageTags) {
        if (imageBar.IsButtonChecked(row.command)) {
            checkedImage = row.command;
            break;
        }
    }
    htmlBody = WithImageTag(htmlBody, ImageSizeText(imagePath), checkedImage);

    if (!DumpDebugFiles(rtfBytes)) return;

    auto publish = FindPublishFunction<PublishToBlogNoGUIFunction>("PublishToBlogNoGUI");
    // Not loaded or no such export: the message has been shown; the editor
    // stays open so that nothing the user wrote is lost.
    if (!publish) return;

    const core::String title = titleBox.Text();
    const int draft = draftBox.IsChecked() ? 1 : 0;
    if (!retryAddress.empty()) postAddress = retryAddress;
    const core::String blogId = ReadBlogChoice();

    const int result = publish(serviceType, fw::W(server), fw::W(endpoint), fw::W(imagePath), fw::W(login),
                               fw::W(password), fw::W(blogId), fw::W(title), fw::W(htmlBody), draft,
                               fw::W(postAddress));
    ::Sleep(kSettleMs);
    const bool published = result != kPublishNothing;
    if (!published) {
        retryAddress = postAddress;
        postAddress.clear();
    }
    ::Sleep(kSettleMs);
    ReleasePublishLibrary();

    if (!published) {
        // Nothing went out: say so and keep the entry for another try, with
        // the library loaded afresh.
        if (!LoadPublishLibrary(libraryPath)) fw::ShowMessage(IDS_LOAD_LIBRARY_FAILED);
        fw::ShowMessage(IDS_PUBLISH_FAILED);
        return;
    }
    EndDialog(IDOK);
}

bool CBlogOutputDlg::DumpDebugFiles(const std::string& rtfBytes) {
    const core::String folder = kDebugFolder;
    if (!IsFolder(folder)) return true;
    // RTF as the control wrote it (ANSI bytes); the HTML as UTF-8.
    WriteFileBytes(folder + u"\\rtf.rtf", rtfBytes);
    WriteFileBytes(folder + u"\\html.htm", core::ToUtf8(htmlBody));
    const core::String question = u"RTF/HTML outputted to " + folder + u" Continue to send to blog?";
    return fw::ShowMessage(question, fw::MessageButtons::YesNo) == IDYES;
}
