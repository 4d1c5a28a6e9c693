#include "account/blog_options_dlg.h"

#include "account/server_rows.h"
#include "resources/resource.h"

BlogOptionsDlg::BlogOptionsDlg(HWND owner) : Dialog(IDD_BLOG_OPTIONS, owner) {
    Bind(IDC_OPTIONS_PASSWORD, passwordBox);
    Bind(IDC_OPTIONS_PROMPT, promptRadio);
    Bind(IDC_OPTIONS_ALWAYS, alwaysRadio);
    Bind(IDC_OPTIONS_LOGIN, userNameBox);
    Bind(IDC_OPTIONS_SERVER, serverBox);
    Bind(IDC_OPTIONS_ENDPOINT, endpointBox);
    Bind(IDC_LOGIN_LABEL, userNameLabel);
    Bind(IDC_PASSWORD_LABEL, passwordLabel);
    Bind(IDC_SERVER_LABEL, serverLabel);
    Bind(IDC_ENDPOINT_LABEL, endpointLabel);
    Bind(IDOK, okButton);
    Bind(IDCANCEL, cancelButton);
    Bind(IDC_LOGIN_GROUP, groupBox);

    OnCommandCode(IDC_OPTIONS_ALWAYS, BN_CLICKED, [this] { EnableAccountControls(true); });
    OnCommandCode(IDC_OPTIONS_PROMPT, BN_CLICKED, [this] { EnableAccountControls(false); });
    // Cancel (and Escape) is the standard one: it takes nothing from the boxes.
}

void BlogOptionsDlg::SetValues(const core::String& captionText, const core::String& login, const core::String& pass,
                               const core::String& serverText, const core::String& endpointText) {
    caption = captionText;
    userName = login;
    password = pass;
    server = serverText;
    endpoint = endpointText;
}

bool BlogOptionsDlg::OnInitDialog() {
    fw::Dialog::SetCaption(caption);
    bool complete = false;
    if (showServerFields) {
        // A stored account is shown only when it has all four parts.
        complete = !userName.empty() && !password.empty() && !server.empty() && !endpoint.empty();
        if (complete) {
            userNameBox.SetText(userName);
            passwordBox.SetText(password);
            serverBox.SetText(server);
            endpointBox.SetText(endpoint);
        }
    } else {
        collapseHeight = CollapseServerRows(Hwnd(), groupBox, passwordBox, endpointBox,
                                            {&endpointBox, &endpointLabel, &serverBox, &serverLabel},
                                            {&okButton, &cancelButton});
        complete = !userName.empty() && !password.empty();
        if (complete) {
            userNameBox.SetText(userName);
            passwordBox.SetText(password);
        }
    }
    Select(complete);
    return false;  // the focus is on the selected radio button
}

void BlogOptionsDlg::Select(bool always) {
    alwaysRadio.SetChecked(always);
    promptRadio.SetChecked(!always);
    (always ? alwaysRadio : promptRadio).Focus();
    EnableAccountControls(always);
}

void BlogOptionsDlg::EnableAccountControls(bool enabled) {
    // The hidden server rows go with the others; the boxes keep their text.
    const fw::Control* controls[] = {&userNameBox,   &passwordBox,   &serverBox,   &endpointBox,
                                     &userNameLabel, &passwordLabel, &serverLabel, &endpointLabel};
    for (const fw::Control* control : controls) {
        control->Enable(enabled);
    }
}

void BlogOptionsDlg::OnOK() {
    // Whatever the boxes hold, enabled, disabled or hidden; nothing is checked.
    userName = userNameBox.Text();
    password = passwordBox.Text();
    server = serverBox.Text();
    endpoint = endpointBox.Text();
    remember = alwaysRadio.IsChecked() ? 1 : 0;
    EndDialog(IDOK);
}
