#pragma once
// The log-in dialog (template 222): user name, password and, for the
// self-hosted service, server and endpoint; "Always use this log-in
// information". It checks nothing: OK hands back what the boxes hold.

#include "core/text.h"
#include "framework/controls.h"
#include "framework/dialog.h"

class BlogAuth : public fw::Dialog {
public:
    explicit BlogAuth(HWND owner);

    void SetCaption(const core::String& text) { caption = text; }
    void SetShowServerFields(bool show) { showServerFields = show; }
    // After a refused log-in: the dialog starts with what was typed, the
    // password box empty and focused.
    void SetRetryValues(const core::String& serverText, const core::String& endpointText,
                        const core::String& userNameText, int rememberFlag);

    // Results after IDOK.
    core::String server;
    core::String endpoint;
    core::String userName;
    core::String password;
    core::String caption;
    int remember = 0;
    int collapseHeight = 0;
    bool showServerFields = true;
    bool retry = false;

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    fw::Edit passwordBox, userNameBox, serverBox, endpointBox;
    fw::Button groupBox, okButton, cancelButton, rememberBox;
    fw::Static userNameLabel, passwordLabel, serverLabel, endpointLabel;
};
