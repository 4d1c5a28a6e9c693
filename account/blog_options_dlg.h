#pragma once
// The options dialog (template 409): remember the account or ask on every
// send, and edit the remembered account.

#include "core/text.h"
#include "framework/controls.h"
#include "framework/dialog.h"

class BlogOptionsDlg : public fw::Dialog {
public:
    explicit BlogOptionsDlg(HWND owner);

    void SetCaption(const core::String& text) { caption = text; }
    void SetShowServerFields(bool show) { showServerFields = show; }
    // Starting values; the caption is set again with them.
    void SetValues(const core::String& captionText, const core::String& login, const core::String& pass,
                   const core::String& serverText, const core::String& endpointText);

    // Results after IDOK (also the starting values).
    core::String userName;
    core::String password;
    core::String server;
    core::String endpoint;
    core::String caption;
    int remember = 0;

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    // Checks 406 ("Always use") or 407 ("Prompt"), focuses it and enables or
    // disables the account controls to match.
    void Select(bool always);
    // The four boxes and their four labels, shown or hidden alike.
    void EnableAccountControls(bool enabled);

    fw::Edit passwordBox;
    fw::Button promptRadio, alwaysRadio;
    fw::Edit userNameBox, serverBox, endpointBox;
    bool showServerFields = true;
    int collapseHeight = 0;
    fw::Static userNameLabel, passwordLabel, serverLabel, endpointLabel;
    fw::Button okButton, cancelButton, groupBox;
};
