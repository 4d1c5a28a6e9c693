#pragma once
// The per-send controller between the host-facing side and the blog: holds
// the inputs of one send and the account, logs in (stored account or the
// log-in dialog), runs the editor and carries its result back; also runs the
// options dialog. One object serves one send or one opening of the options.

#include "core/text.h"
#include "publishing/blog_service.h"

#include <windows.h>

class BlogPostSession {
public:
    BlogPostSession() = default;

    void Setup(int serviceType, const core::String& accessoryFolder, const core::String& dataFolder,
               const core::String& imagePath, HWND parentWindow, HICON editorIcon);
    // True when a post address came back.
    bool LogInAndEdit();
    core::String GetPostAddress() const { return postAddress; }
    // True when the options dialog was confirmed.
    bool ShowOptions(int serviceType, const core::String& dataFolder, HWND parentWindow);

    // Settings files (UserSettings.xml, UserPrefs.xml in dataFolder).
    bool LoadAccount();
    bool LoadPreferences(int& saveTextFlag);
    bool SaveAccount();
    bool SavePreferences(int flag);

    core::String MakeLogInCaption(int serviceType);
    // `keepTyped`: after a refused account, the dialog starts with the
    // server, endpoint, user name and remember box as they were.
    bool ShowLogIn(bool keepTyped = false);
    core::String RunEditor();

    core::String accessoryFolder;
    core::String dataFolder;
    core::String imagePath;
    core::String postAddress;
    core::String password;  // in clear; stored scrambled
    core::String login;
    core::String server;
    core::String endpoint;
    int serviceType = kServiceVelluma;
    core::String logInCaption;
    int saveText = 0;
    int displayHotspotWarning = 1;
    HWND parentWindow = nullptr;  // borrowed
    HICON editorIcon = nullptr;   // borrowed
};
