#include "publishing/post_assembly.h"

#include "framework/gdiplus_session.h"
#include "framework/handles.h"
#include "framework/wide.h"
#include "rtfhtml/rtf_html_converter.h"

#include <windows.h>
#include <gdiplus.h>

#include <memory>

namespace publishing {

const char16_t kDebugFolder[] = u"c:\\DebugBlogHTML";

namespace {

constexpr int kMaxImageWidth = 320;

struct ImageTag {
    const char16_t* opening;
    const char16_t* closing;
    bool afterBody;
};

// In the order of ImageAlign. The two "%s" stay in the text: the library
// puts the uploaded image's address in their place.
constexpr ImageTag kImageTags[] = {
    {u"<a href=\"%s\"><img src = \"%s\" align = \"left\" ", u" hspace = \"20\" /></a>", false},
    {u"<a href=\"%s\"><img src = \"%s\" align = \"right\" ", u" hspace = \"20\" /></a>", false},
    {u"<p align = \"center\"><a href=\"%s\"><img src = \"%s\" ", u" hspace=\"6\" /></a></p>", false},
    {u"<p align = \"center\"><a href=\"%s\"><img src = \"%s\" ", u" hspace=\"6\" /></a></p>", true},
};

struct ImageDisposer {
    void operator()(Gdiplus::GpImage* image) const { Gdiplus::DllExports::GdipDisposeImage(image); }
};
using UniqueImage = std::unique_ptr<Gdiplus::GpImage, ImageDisposer>;

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

core::String ImageSizeText(const core::String& path) {
    fw::GdiplusSession gdiplus;
    if (!gdiplus.Started()) return {};
    UINT widthRead = 0, heightRead = 0;
    {
        Gdiplus::GpImage* loaded = nullptr;
        if (Gdiplus::DllExports::GdipLoadImageFromFile(fw::W(path), &loaded) != Gdiplus::Ok || !loaded) return {};
        UniqueImage image(loaded);  // disposed before GDI+ shuts down
        Gdiplus::DllExports::GdipGetImageWidth(image.get(), &widthRead);
        Gdiplus::DllExports::GdipGetImageHeight(image.get(), &heightRead);
    }

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

core::String WithImageTag(const core::String& bodyHtml, const core::String& sizeText, ImageAlign align) {
    const ImageTag& tag = kImageTags[static_cast<size_t>(align)];
    const core::String imageTag = tag.opening + sizeText + tag.closing;
    return tag.afterBody ? bodyHtml + imageTag : imageTag + bodyHtml;
}

AssembledPost AssemblePost(const std::string& rtfBytes, const core::String& imagePath, ImageAlign align) {
    AssembledPost post;
    post.rtfText = RtfHtmlConverter::TrimFinalParagraph(FromAnsi(rtfBytes));
    RtfHtmlConverter converter;
    post.htmlBody = WithImageTag(converter.Convert(post.rtfText, u"\\pard", true), ImageSizeText(imagePath), align);
    return post;
}

bool DumpDebugFiles(const std::string& rtfBytes, const core::String& htmlBody) {
    const core::String folder = kDebugFolder;
    if (!IsFolder(folder)) return false;
    // RTF as the control wrote it (ANSI bytes); the HTML as UTF-8.
    WriteFileBytes(folder + u"\\rtf.rtf", rtfBytes);
    WriteFileBytes(folder + u"\\html.htm", core::ToUtf8(htmlBody));
    return true;
}

} // namespace publishing
