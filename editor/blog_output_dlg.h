#pragma once
// The blog editor (template 3102): shows who is logged in, offers another
// log-in, lists the account's blogs, and holds the title, the rich-text body
// with its formatting and image-alignment toolbars, and the draft switch.
// BlogPostSession builds one per editor run, gives it the account with
// SetPostData, runs it modally and then reads postAddress (after IDOK) or
// differentAccountRequested (after IDCANCEL).
//
// The blog list and Post are in editor_publishing.cpp, over publishing's
// BlogClient; the formatting commands are EditorFormatting's.

#include "core/text.h"
#include "editor/editor_formatting.h"
#include "editor/my_rich_edit_ctrl.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/handles.h"
#include "publishing/blog_client.h"
#include "publishing/post_assembly.h"

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <optional>
#include <vector>

class CBlogOutputDlg : public fw::Dialog {
public:
    // `editorIcon` is borrowed: the caller keeps it alive until the editor is gone.
    CBlogOutputDlg(HWND parent, HICON editorIcon);
    ~CBlogOutputDlg() override;

    void SetPostData(int serviceType, const core::String& login, const core::String& password,
                     const core::String& server, const core::String& endpoint, const core::String& imagePath,
                     const core::String& libraryPath);

    int layoutShift = 0;
    RECT entryBoxRect{};
    core::String rtfText;
    core::String htmlBody;

    core::String login;
    core::String password;
    core::String server;
    core::String endpoint;
    core::String postAddress;
    core::String imagePath;
    core::String libraryPath;
    int serviceType = 0;
    int differentAccountRequested = 0;
    // Set when the library refused the account and can say why (possibly
    // an empty text); nullopt when it refused without a word or did not.
    std::optional<core::String> refusalReason;
    std::vector<core::String> blogIds;
    std::vector<core::String> blogAddresses;

protected:
    bool OnInitDialog() override;
    // Enter outside the body: nothing. The template has no confirm button, and
    // ending the dialog as confirmed without posting would drop the entry.
    void OnOK() override {}

private:
    struct ImageListTraits {
        static HIMAGELIST Invalid() { return nullptr; }
        static void Close(HIMAGELIST list) { ::ImageList_Destroy(list); }
    };
    using UniqueImageList = fw::Unique<HIMAGELIST, ImageListTraits>;

    void CreateToolBar(fw::ToolBar& bar, int controlId, int frameId, int imageSize, UniqueImageList& images,
                       const std::vector<HICON>& icons, const std::vector<int>& commands);
    void EnableChildToolTips();

    void OnCancelCommand();
    void OnUseDifferentAccount();
    std::optional<LRESULT> OnPaint();
    std::optional<LRESULT> OnToolTipText(NMHDR& header);

    // editor_publishing.cpp
    // The library client for this editor's account and library path.
    publishing::BlogClient Client() const;
    bool FetchBlogList();
    void CompactAccountBox();
    // The list's selection: the blog id, and postAddress set to its address.
    core::String ReadBlogChoice();
    // The image toolbar's checked alignment (Left when none is checked).
    publishing::ImageAlign CheckedImageAlign();
    void OnPost();

    HICON editorIcon = nullptr;  // borrowed
    // Toolbar icons, in the order of kToolbarIcons (blog_output_dlg.cpp).
    std::array<fw::UniqueIcon, 12> toolbarIcons;

    CMyRichEditCtrl body;
    fw::ToolBar formatBar;
    fw::ToolBar imageBar;
    UniqueImageList formatImages;
    UniqueImageList imageImages;
    HWND toolTips = nullptr;  // the dialog's tips for its child controls; owned by the dialog window

    fw::Button differentAccountButton;
    fw::Edit titleBox;
    fw::Static userNameLabel;
    fw::Button accountGroup;
    fw::Button entryGroup;
    fw::Static blogNameLabel;
    fw::ComboBox sizeBox;
    fw::ComboBox blogList;
    fw::Button draftBox;

    EditorFormatting formatting;
    // The address a post that the library refused was meant for, so the next
    // try goes to the same blog even when the list has no selection.
    core::String retryAddress;
};
