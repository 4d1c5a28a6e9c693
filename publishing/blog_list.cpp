// The editor's blog list: asks the publishing library for the account's
// blogs when the editor opens (also the only test of the account), fills the
// "Blog name:" list, and hides that row when there is nothing to choose.

#include "core/kelo_xml_string.h"
#include "editor/blog_output_dlg.h"
#include "framework/strings.h"
#include "framework/wide.h"
#include "publishing/publish_library.h"
#include "resources/resource.h"

#include <vector>

namespace {

constexpr int kReplyCapacity = 0x100000;  // characters, fixed by the library's contract
constexpr HRESULT kAccountRejected = E_FAIL;
// LiveJournal journals live at http://<login> followed by this host.
constexpr char16_t kJournalHostSuffix[] = u".livejournal.com";

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

} // namespace

bool CBlogOutputDlg::FetchBlogList() {
    if (serviceType == 3) {
        postAddress = u"http://" + login + kJournalHostSuffix;
        blogAddresses.push_back(postAddress);
        blogIds.clear();
    }

    if (!LoadPublishLibrary(libraryPath)) {
        fw::ShowMessage(IDS_LOAD_LIBRARY_FAILED);
        return false;
    }
    auto getBlogIds = FindPublishFunction<GetBlogIDsFunction>("GetBlogIDs");
    if (!getBlogIds) return false;

    core::String reply;
    {
        // Zeroed, so a buffer the library leaves alone reads as empty text.
        std::vector<wchar_t> buffer(kReplyCapacity, L'\0');
        const int result = getBlogIds(serviceType, fw::W(server), fw::W(endpoint), fw::W(login), fw::W(password),
                                      buffer.data(), kReplyCapacity);
        if (result == static_cast<int>(kAccountRejected)) {
            // No message: the session asks for another log-in. The library
            // stays loaded; the next editor loads it again.
            differentAccountRequested = 1;
            EndDialog(IDCANCEL);
            return false;
        }
        size_t length = 0;
        while (length < buffer.size() && buffer[length] != L'\0') ++length;
        reply = fw::FromWide(buffer.data(), length);
    }

    KeloXmlString replyText(reply);
    KeloXmlString blogs;
    int position = 0;
    if (replyText.GetChild(u"Blogs", blogs, position)) {
        // The three texts carry over from one object to the next, so an
        // object without a name is listed under the previous one's.
        core::String id, name, address;
        KeloXmlString object;
        int objectPosition = 0;
        while (blogs.GetChild(u"Blog_Object", object, objectPosition)) {
            int field = 0;
            object.GetValue(u"BlogId", id, field);
            object.GetValue(u"BlogName", name, field);
            object.GetValue(u"BlogAddress", address, field);
            blogIds.push_back(id);
            blogAddresses.push_back(address);
            // By position: the list's sort style must not reorder the blogs.
            blogList.InsertString(static_cast<int>(blogIds.size()) - 1, name);
        }
        blogList.Select(0);
    }

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
