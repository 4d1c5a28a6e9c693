// The per-send controller: where the account comes from (the settings files
// or the log-in dialog), the editor runs with the re-log-in loop, and the
// options. The four settings file operations are in settings_files.cpp.

#include "account/blog_post_session.h"

#include "account/blog_auth.h"
#include "account/blog_options_dlg.h"
#include "editor/blog_output_dlg.h"
#include "framework/strings.h"
#include "resources/resource.h"

namespace {

constexpr char16_t kLibraryFileName[] = u"KeloPublish.dll";

// The label that fills "%s Login" for each service type; null for an unknown type.
const char16_t* ServiceLabel(int serviceType) {
    switch (serviceType) {
    case kServiceTypePad: return u"TypePad";
    case kServiceHosted: return u"blogs.example.com";  // no caller uses this type
    case kServiceVelluma: return u"Velluma";
    case kServiceLiveJournal: return u"LiveJournal";
    default: return nullptr;
    }
}

} // namespace

void BlogPostSession::Setup(int type, const core::String& accessory, const core::String& data,
                            const core::String& image, HWND parent, HICON icon) {
    serviceType = type;
    accessoryFolder = accessory;
    dataFolder = data;
    imagePath = image;
    parentWindow = parent;
    editorIcon = icon;
    login.clear();
    password.clear();
    endpoint.clear();
    server.clear();
    postAddress.clear();
    saveText = 0;
    displayHotspotWarning = 1;
    logInCaption = MakeLogInCaption(serviceType);
}

core::String BlogPostSession::MakeLogInCaption(int type) {
    if (const char16_t* label = ServiceLabel(type)) {
        logInCaption = fw::FormatText(fw::LoadResourceString(IDS_LOGIN_CAPTION_FORMAT), label);
    }
    return logInCaption;
}

bool BlogPostSession::LogInAndEdit() {
    // The send command reports a send that cannot even start.
    if (imagePath.empty() || accessoryFolder.empty()) return false;

    if (LoadPreferences(saveText) && saveText) {
        // A missing or damaged account file leaves the account empty, which
        // RunEditor reports; the options are where the user repairs it.
        LoadAccount();
    } else if (!ShowLogIn()) {
        return false;
    }
    postAddress = RunEditor();
    return !postAddress.empty();
}

bool BlogPostSession::ShowLogIn(bool keepTyped) {
    BlogAuth dialog(parentWindow);
    dialog.SetCaption(logInCaption);
    dialog.SetShowServerFields(serviceType == kServiceVelluma);
    if (keepTyped) dialog.SetRetryValues(server, endpoint, login, saveText);
    if (dialog.DoModal() != IDOK) return false;

    password = dialog.password;
    login = dialog.userName;
    server = dialog.server;
    endpoint = dialog.endpoint;
    saveText = dialog.remember ? 1 : 0;
    // Ticked: the account is stored; unticked: the stored one is deleted.
    SavePreferences(saveText);
    return true;
}

core::String BlogPostSession::RunEditor() {
    for (;;) {
        if (login.empty() || password.empty()) {
            fw::ShowMessage(IDS_INVALID_LOGIN);
            return {};
        }

        CBlogOutputDlg editor(parentWindow, editorIcon);
        editor.SetPostData(serviceType, login, password, server, endpoint, imagePath,
                           accessoryFolder + kLibraryFileName);
        if (editor.DoModal() == IDOK) return editor.postAddress;

        // The editor closes asking for another account when the user says so
        // or when the library rejected this one; try again with what the
        // log-in dialog gives, until the user cancels. A library that can say
        // why it refused has its reason shown, and the log-in comes back
        // with the account as typed, for the password to be typed again.
        if (!editor.differentAccountRequested) return postAddress;
        const bool refusedWithReason = editor.refusalReason.has_value();
        if (refusedWithReason && !editor.refusalReason->empty()) fw::ShowMessage(*editor.refusalReason);
        if (!ShowLogIn(refusedWithReason)) return postAddress;
    }
}

bool BlogPostSession::ShowOptions(int type, const core::String& data, HWND parent) {
    dataFolder = data;
    parentWindow = parent;

    BlogOptionsDlg dialog(parentWindow);
    dialog.SetCaption(MakeLogInCaption(type));
    dialog.SetShowServerFields(type == kServiceVelluma);
    if (LoadPreferences(saveText) && saveText) {
        LoadAccount();
        dialog.SetValues(logInCaption, login, password, server, endpoint);
    }
    if (dialog.DoModal() != IDOK) return false;

    // Whatever the four boxes hold, also when disabled or hidden.
    login = dialog.userName;
    password = dialog.password;
    server = dialog.server;
    endpoint = dialog.endpoint;
    saveText = dialog.remember ? 1 : 0;
    SavePreferences(saveText);
    return true;
}
