#include "editor/blog_output_dlg.h"

#include "framework/module.h"
#include "framework/strings.h"
#include "framework/wide.h"
#include "resources/resource.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct ToolbarIcon {
    UINT id;
    int pixels;  // loaded square at this size; the image art is 40 px and is stretched
};

// Order: the formatting bar's eight images, then the image bar's four.
constexpr ToolbarIcon kToolbarIcons[12] = {
    {IDI_BOLD, 16},        {IDI_ITALIC, 16},      {IDI_UNDERLINE, 16},   {IDI_ALIGN_LEFT, 16},
    {IDI_ALIGN_CENTER, 16}, {IDI_ALIGN_RIGHT, 16}, {IDI_CREATE_LINK, 16}, {IDI_REMOVE_LINK, 16},
    {IDI_IMAGE_LEFT, 60},  {IDI_IMAGE_RIGHT, 60}, {IDI_IMAGE_TOP, 60},   {IDI_IMAGE_BOTTOM, 60},
};
constexpr size_t kFirstImageIcon = 8;

constexpr int kSeparator = 0;
const std::vector<int> kFormatButtons = {ID_FORMAT_BOLD, ID_FORMAT_ITALIC, ID_FORMAT_UNDERLINE, kSeparator,
                                         ID_ALIGN_LEFT,  ID_ALIGN_CENTER,  ID_ALIGN_RIGHT,      kSeparator,
                                         ID_LINK_CREATE, ID_LINK_REMOVE};
const std::vector<int> kImageButtons = {ID_IMAGE_LEFT, ID_IMAGE_RIGHT, ID_IMAGE_TOP, ID_IMAGE_BOTTOM};

constexpr UINT kSizeStrings[] = {IDS_SIZE_XX_SMALL, IDS_SIZE_X_SMALL, IDS_SIZE_SMALL,   IDS_SIZE_MEDIUM,
                                 IDS_SIZE_LARGE,    IDS_SIZE_X_LARGE, IDS_SIZE_XX_LARGE};
constexpr int kDefaultSizeIndex = 1;        // "x-small"
constexpr LONG kDefaultBodyTwips = 200;     // 10 points

// A tip's text buffer holds 80 characters: at most 79 and the NUL.
constexpr size_t kTipCapacity = 80;
constexpr int kTipStringMax = 255;

} // namespace

CBlogOutputDlg::CBlogOutputDlg(HWND parent, HICON icon) : Dialog(IDD_BLOG_EDITOR, parent), editorIcon(icon) {
    for (size_t i = 0; i < toolbarIcons.size(); ++i) {
        const ToolbarIcon& entry = kToolbarIcons[i];
        toolbarIcons[i].reset(static_cast<HICON>(::LoadImageW(fw::ResourceModule(), MAKEINTRESOURCEW(entry.id),
                                                              IMAGE_ICON, entry.pixels, entry.pixels, 0)));
    }

    Bind(IDC_EDITOR_DIFFERENT_ACCOUNT, differentAccountButton);
    Bind(IDC_EDITOR_TITLE, titleBox);
    Bind(IDC_EDITOR_USERNAME, userNameLabel);
    Bind(IDC_EDITOR_ACCOUNT_GROUP, accountGroup);
    Bind(IDC_EDITOR_ENTRY_GROUP, entryGroup);
    Bind(IDC_EDITOR_BLOG_LABEL, blogNameLabel);
    Bind(IDC_EDITOR_TEXT_SIZE, sizeBox);
    Bind(IDC_EDITOR_BLOG_LIST, blogList);
    Bind(IDC_EDITOR_BODY, body);
    Bind(IDC_EDITOR_DRAFT, draftBox);

    OnMessage(WM_PAINT, [this](WPARAM, LPARAM) { return OnPaint(); });
    OnMessage(WM_QUERYDRAGICON, [this](WPARAM, LPARAM) -> std::optional<LRESULT> {
        return reinterpret_cast<LRESULT>(editorIcon);
    });

    // Formatting and image alignment belong to EditorFormatting.
    OnCommand(ID_FORMAT_BOLD, [this] { formatting.OnBold(); });
    OnCommand(ID_FORMAT_ITALIC, [this] { formatting.OnItalic(); });
    OnCommand(ID_FORMAT_UNDERLINE, [this] { formatting.OnUnderline(); });
    OnCommand(ID_ALIGN_LEFT, [this] { formatting.OnAlignLeft(); });
    OnCommand(ID_ALIGN_CENTER, [this] { formatting.OnAlignCenter(); });
    OnCommand(ID_ALIGN_RIGHT, [this] { formatting.OnAlignRight(); });
    OnCommand(ID_LINK_CREATE, [this] { formatting.OnCreateLink(); });
    OnCommand(ID_LINK_REMOVE, [this] { formatting.OnRemoveLink(); });
    OnCommand(ID_IMAGE_LEFT, [this] { formatting.OnImageLeft(); });
    OnCommand(ID_IMAGE_RIGHT, [this] { formatting.OnImageRight(); });
    OnCommand(ID_IMAGE_TOP, [this] { formatting.OnImageTop(); });
    OnCommand(ID_IMAGE_BOTTOM, [this] { formatting.OnImageBottom(); });

    OnCommand(IDC_EDITOR_POST, [this] { OnPost(); });
    // The Cancel button, Escape and the close box all arrive as IDCANCEL.
    OnCommand(IDCANCEL, [this] { OnCancelCommand(); });
    OnCommand(IDC_EDITOR_DIFFERENT_ACCOUNT, [this] { OnUseDifferentAccount(); });

    OnNotify(IDC_EDITOR_BODY, EN_SELCHANGE, [this](NMHDR&) -> std::optional<LRESULT> {
        formatting.OnSelectionChange();
        return 0;
    });
    OnCommandCode(IDC_EDITOR_TEXT_SIZE, CBN_SELCHANGE, [this] { formatting.OnTextSizeChange(); });
    // A tool named by its window handle carries the handle as its id, so the
    // tips take every id, not only control ids.
    OnNotifyRange(TTN_NEEDTEXTW, 0, UINTPTR_MAX, [this](NMHDR& header) { return OnToolTipText(header); });
    OnNotifyRange(TTN_NEEDTEXTA, 0, UINTPTR_MAX, [this](NMHDR& header) { return OnToolTipText(header); });
    OnNotify(IDC_EDITOR_BODY, EN_LINK, [this](NMHDR& header) {
        return formatting.OnLinkNotify(reinterpret_cast<const ENLINK&>(header));
    });
}

CBlogOutputDlg::~CBlogOutputDlg() {
    for (fw::UniqueIcon& icon : toolbarIcons) icon.reset();
}

void CBlogOutputDlg::SetPostData(int type, const core::String& loginText, const core::String& passwordText,
                                 const core::String& serverText, const core::String& endpointText,
                                 const core::String& image, const core::String& library) {
    serviceType = type;
    login = loginText;
    password = passwordText;
    server = serverText;
    endpoint = endpointText;
    imagePath = image;
    libraryPath = library;
}

bool CBlogOutputDlg::OnInitDialog() {
    EnableChildToolTips();

    std::vector<HICON> imageIcons, formatIcons;
    for (size_t i = 0; i < toolbarIcons.size(); ++i) {
        (i < kFirstImageIcon ? formatIcons : imageIcons).push_back(toolbarIcons[i].get());
    }
    CreateToolBar(imageBar, IDC_EDITOR_IMAGE_BAR, IDC_EDITOR_IMAGE_FRAME, 60, imageImages, imageIcons, kImageButtons);
    CreateToolBar(formatBar, IDC_EDITOR_FORMAT_BAR, IDC_EDITOR_FORMAT_FRAME, 16, formatImages, formatIcons,
                  kFormatButtons);
    formatting.Attach({.dialog = Hwnd(), .body = &body, .formatBar = &formatBar, .imageBar = &imageBar,
                       .sizeBox = &sizeBox});

    body.SetEventMask(ENM_LINK | ENM_SELCHANGE);
    CHARFORMAT2W size{};
    size.dwMask = CFM_SIZE;
    size.yHeight = kDefaultBodyTwips;
    body.SetDefaultFormat(size);
    // Wine's control keeps the empty body's end mark at the dialog font's
    // size after a default change; the whole (empty) content takes it too,
    // so that the first typed text comes at 10 points as well.
    size.cbSize = sizeof size;
    body.Send(EM_SETCHARFORMAT, SCF_ALL, reinterpret_cast<LPARAM>(&size));

    for (UINT id : kSizeStrings) sizeBox.AddString(fw::LoadResourceString(id));
    sizeBox.Select(kDefaultSizeIndex);

    formatBar.CheckButton(ID_ALIGN_LEFT, true);
    imageBar.CheckButton(ID_IMAGE_LEFT, true);

    ::SendMessageW(Hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(editorIcon));
    ::SendMessageW(Hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(editorIcon));

    userNameLabel.SetText(login);

    // The blog list is also the account's only test; it may close the editor.
    return FetchBlogList();
}

void CBlogOutputDlg::CreateToolBar(fw::ToolBar& bar, int controlId, int frameId, int imageSize,
                                   UniqueImageList& images, const std::vector<HICON>& icons,
                                   const std::vector<int>& commands) {
    const RECT place = ItemRect(frameId);
    HWND window = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                    WS_CHILD | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NOPARENTALIGN |
                                        CCS_NODIVIDER,
                                    place.left, place.top, place.right - place.left, place.bottom - place.top,
                                    Hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                    fw::ResourceModule(), nullptr);
    bar.Attach(window);
    if (!window) return;
    bar.Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));

    images.reset(::ImageList_Create(imageSize, imageSize, ILC_COLOR32 | ILC_MASK, static_cast<int>(icons.size()), 0));
    for (HICON icon : icons) ::ImageList_AddIcon(images.get(), icon);
    bar.Send(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images.get()));

    std::vector<TBBUTTON> buttons;
    int image = 0;
    for (int command : commands) {
        TBBUTTON button{};
        if (command == kSeparator) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.iBitmap = image++;
            button.idCommand = command;
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON;
        }
        buttons.push_back(button);
    }
    bar.Send(TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));

    // Just after its frame in the Z order, on the frame's place.
    ::SetWindowPos(window, Item(frameId), place.left, place.top, place.right - place.left, place.bottom - place.top,
                   SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CBlogOutputDlg::EnableChildToolTips() {
    toolTips = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Hwnd(), nullptr, fw::ResourceModule(),
                                 nullptr);
    if (!toolTips) return;
    // Each child control is a tool named by its window; the text comes from
    // the string of its control id when the tip asks (OnToolTipText).
    for (HWND child = ::GetWindow(Hwnd(), GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = Hwnd();
        tool.uId = reinterpret_cast<UINT_PTR>(child);
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        ::SendMessageW(toolTips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void CBlogOutputDlg::OnCancelCommand() {
    publishing::ReleasePublishLibrary();
    EndDialog(IDCANCEL);
}

void CBlogOutputDlg::OnUseDifferentAccount() {
    // The library stays loaded: the next editor loads it again anyway.
    differentAccountRequested = 1;
    EndDialog(IDCANCEL);
}

std::optional<LRESULT> CBlogOutputDlg::OnPaint() {
    if (!::IsIconic(Hwnd())) return std::nullopt;
    PAINTSTRUCT paint{};
    HDC dc = ::BeginPaint(Hwnd(), &paint);
    ::SendMessageW(Hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client{};
    ::GetClientRect(Hwnd(), &client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, editorIcon);
    ::EndPaint(Hwnd(), &paint);
    return 0;
}

std::optional<LRESULT> CBlogOutputDlg::OnToolTipText(NMHDR& header) {
    // The two requests share their layout up to the text buffer; the flags
    // come after it, where each has its own offset.
    auto& wide = reinterpret_cast<NMTTDISPINFOW&>(header);
    const UINT flags = header.code == TTN_NEEDTEXTW ? wide.uFlags : reinterpret_cast<NMTTDISPINFOA&>(header).uFlags;
    UINT_PTR id = header.idFrom;
    if (flags & TTF_IDISHWND) id = static_cast<UINT_PTR>(::GetDlgCtrlID(reinterpret_cast<HWND>(header.idFrom)));
    if (id == 0) return std::nullopt;  // a separator

    core::String text = fw::LoadResourceString(static_cast<UINT>(id));
    if (text.size() > static_cast<size_t>(kTipStringMax)) text.resize(kTipStringMax);
    if (text.size() > kTipCapacity - 1) text.resize(kTipCapacity - 1);

    if (header.code == TTN_NEEDTEXTW) {
        std::memset(wide.szText, 0, sizeof wide.szText);
        std::memcpy(wide.szText, text.data(), text.size() * sizeof(wchar_t));
        wide.lpszText = wide.szText;
        wide.hinst = nullptr;
    } else {
        auto& ansi = reinterpret_cast<NMTTDISPINFOA&>(header);
        std::memset(ansi.szText, 0, sizeof ansi.szText);
        // Converted whole, then cut to 79 bytes; a double-byte character cut
        // in half is dropped.
        std::string bytes(text.size() * 2 + 1, '\0');
        int length = ::WideCharToMultiByte(CP_ACP, 0, fw::W(text), static_cast<int>(text.size()), bytes.data(),
                                           static_cast<int>(bytes.size()), nullptr, nullptr);
        bytes.resize(length > 0 ? static_cast<size_t>(length) : 0);
        if (bytes.size() > kTipCapacity - 1) {
            bytes.resize(kTipCapacity - 1);
            size_t lead = 0;
            while (lead < bytes.size()) lead += ::IsDBCSLeadByte(static_cast<BYTE>(bytes[lead])) ? 2 : 1;
            if (lead > bytes.size()) bytes.pop_back();
        }
        std::memcpy(ansi.szText, bytes.data(), bytes.size());
        ansi.lpszText = ansi.szText;
        ansi.hinst = nullptr;
    }
    ::SetWindowPos(header.hwndFrom, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    return 0;
}
