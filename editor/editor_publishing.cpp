// The editor's side of publishing: the blog list fetched when the editor
// opens (also the only test of the account) and laid out, and Post. What the
// library is asked and how the post is put together is publishing's; here
// are the dialog's controls and messages.

#include "editor/blog_output_dlg.h"
#include "framework/strings.h"
#include "publishing/blog_client.h"
#include "publishing/blog_service.h"
#include "publishing/post_assembly.h"
#include "resources/resource.h"

#include <string>

namespace {

constexpr DWORD kSettleMs = 100;  // before and after the result is looked at

struct MoveUpArgs {
    RECT entryBox;
    int shift;
    HWND dialog;
};

BOOL CALLBACK MoveUpBelowEntryBox(HWND child, LPARAM param) {
    const auto& args = *reinterpret_cast<const MoveUpArgs*>(param);
    RECT rect{};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, args.dialog, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.top >= args.entryBox.top && rect.left >= args.entryBox.left) {
        ::SetWindowPos(child, nullptr, rect.left, rect.top - args.shift, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return TRUE;  // every child is visited
}

// The wait cursor for the length of a scope: the library blocks this thread
// while it works, so no message would show that anything happens.
class WaitCursor {
public:
    WaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { ::SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;  // shared system cursors: nothing to destroy
};

// The message for a call that never reached the library.
void ShowCallFailure(publishing::CallStatus status) {
    fw::ShowMessage(status == publishing::CallStatus::NotLoaded ? IDS_LOAD_LIBRARY_FAILED : IDS_EXPORT_MISSING);
}

} // namespace

publishing::BlogClient CBlogOutputDlg::Client() const {
    return publishing::BlogClient(libraryPath, {serviceType, server, endpoint, login, password});
}

bool CBlogOutputDlg::FetchBlogList() {
    if (serviceType == kServiceLiveJournal) {
        postAddress = publishing::JournalAddress(login);
        blogAddresses.push_back(postAddress);
        blogIds.clear();
    }

    publishing::BlogClient client = Client();
    publishing::BlogListReply reply;
    {
        WaitCursor wait;
        if (client.Load()) reply = client.FetchBlogs();
    }
    if (!publishing::publishLibrary) {
        fw::ShowMessage(IDS_LOAD_LIBRARY_FAILED);
        return false;
    }
    if (reply.status != publishing::CallStatus::Called) {
        ShowCallFailure(reply.status);
        return false;
    }
    if (reply.accountRejected) {
        // No message here: the session asks for another log-in, and says
        // why first when the library gave a reason. The library stays
        // loaded; the next editor loads it again.
        refusalReason = reply.reason;
        differentAccountRequested = 1;
        EndDialog(IDCANCEL);
        return false;
    }

    for (const publishing::BlogEntry& blog : reply.blogs) {
        blogIds.push_back(blog.id);
        blogAddresses.push_back(blog.address);
        // By position: the list's sort style must not reorder the blogs.
        blogList.InsertString(static_cast<int>(blogIds.size()) - 1, blog.name);
    }
    if (!reply.blogs.empty()) blogList.Select(0);

    if (blogIds.size() < 2) CompactAccountBox();
    return true;
}

void CBlogOutputDlg::CompactAccountBox() {
    const RECT group = accountGroup.RectInParent();
    const RECT list = blogList.RectInParent();
    const RECT button = differentAccountButton.RectInParent();
    layoutShift = list.bottom - button.bottom;

    blogList.Show(false);
    blogNameLabel.Show(false);
    ::SetWindowPos(accountGroup.Hwnd(), nullptr, 0, 0, group.right - group.left,
                   group.bottom - group.top - layoutShift, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

    entryBoxRect = entryGroup.RectInParent();
    MoveUpArgs args{entryBoxRect, layoutShift, Hwnd()};
    ::EnumChildWindows(Hwnd(), MoveUpBelowEntryBox, reinterpret_cast<LPARAM>(&args));
    ::RedrawWindow(Hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    RECT window{};
    ::GetWindowRect(Hwnd(), &window);
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, window.right - window.left, window.bottom - window.top - layoutShift,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

core::String CBlogOutputDlg::ReadBlogChoice() {
    const int index = blogList.Selection();
    if (index < 0 || index >= static_cast<int>(blogIds.size())) return {};
    // For LiveJournal the journal address comes first in blogAddresses, so a
    // listed blog takes the address one place before its own.
    if (static_cast<size_t>(index) < blogAddresses.size()) postAddress = blogAddresses[static_cast<size_t>(index)];
    return blogIds[static_cast<size_t>(index)];
}

publishing::ImageAlign CBlogOutputDlg::CheckedImageAlign() {
    struct Button {
        int command;
        publishing::ImageAlign align;
    };
    // Asked in this order; the first checked one wins, none is Left.
    constexpr Button kButtons[] = {
        {ID_IMAGE_LEFT, publishing::ImageAlign::Left},
        {ID_IMAGE_RIGHT, publishing::ImageAlign::Right},
        {ID_IMAGE_TOP, publishing::ImageAlign::Top},
        {ID_IMAGE_BOTTOM, publishing::ImageAlign::Bottom},
    };
    for (const Button& button : kButtons) {
        if (imageBar.IsButtonChecked(button.command)) return button.align;
    }
    return publishing::ImageAlign::Left;
}

void CBlogOutputDlg::OnPost() {
    rtfText.clear();
    std::string rtfBytes = body.StreamOutRtf();
    // The control ends its stream with a NUL byte; it is no part of the RTF.
    while (!rtfBytes.empty() && rtfBytes.back() == '\0') rtfBytes.pop_back();
    publishing::AssembledPost post = publishing::AssemblePost(rtfBytes, imagePath, CheckedImageAlign());
    rtfText = std::move(post.rtfText);
    htmlBody = std::move(post.htmlBody);

    if (publishing::DumpDebugFiles(rtfBytes, htmlBody)) {
        const core::String question =
            u"RTF/HTML outputted to " + core::String(publishing::kDebugFolder) + u" Continue to send to blog?";
        if (fw::ShowMessage(question, fw::MessageButtons::YesNo) != IDYES) return;
    }

    publishing::PostRequest request;
    request.imagePath = imagePath;
    request.title = titleBox.Text();
    request.draft = draftBox.IsChecked();
    request.htmlBody = htmlBody;
    if (!retryAddress.empty()) postAddress = retryAddress;
    request.blogId = ReadBlogChoice();
    request.blogAddress = postAddress;

    publishing::BlogClient client = Client();
    publishing::PostReply reply;
    {
        WaitCursor wait;
        reply = client.Submit(request);
    }
    // Not loaded or no such export: say so; the editor stays open so that
    // nothing the user wrote is lost.
    if (reply.status != publishing::CallStatus::Called) {
        ShowCallFailure(reply.status);
        return;
    }
    ::Sleep(kSettleMs);
    if (!reply.published) {
        retryAddress = postAddress;
        postAddress.clear();
    } else if (!reply.link.empty()) {
        // The post's own page rather than the blog's: the notice and the
        // host's last result lead there.
        postAddress = reply.link;
    }
    ::Sleep(kSettleMs);
    publishing::ReleasePublishLibrary();

    if (!reply.published) {
        // Nothing went out: say so and keep the entry for another try, with
        // the library loaded afresh.
        if (!client.Load()) fw::ShowMessage(IDS_LOAD_LIBRARY_FAILED);
        core::String message = fw::LoadResourceString(IDS_PUBLISH_FAILED);
        if (reply.reason && !reply.reason->empty()) message += u"\n\n" + *reply.reason;
        fw::ShowMessage(message);
        return;
    }
    EndDialog(IDOK);
}
