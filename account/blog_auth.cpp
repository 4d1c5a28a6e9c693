#include "account/blog_auth.h"

#include "account/server_rows.h"
#include "resources/resource.h"

BlogAuth::BlogAuth(HWND owner) : Dialog(IDD_BLOG_AUTH, owner) {
    Bind(IDC_AUTH_PASSWORD, passwordBox);
    Bind(IDC_AUTH_LOGIN, userNameBox);
    Bind(IDC_AUTH_SERVER, serverBox);
    Bind(IDC_AUTH_ENDPOINT, endpointBox);
    Bind(IDC_LOGIN_GROUP, groupBox);
    Bind(IDOK, okButton);
    Bind(IDCANCEL, cancelButton);
    Bind(IDC_AUTH_REMEMBER, rememberBox);
    Bind(IDC_LOGIN_LABEL, userNameLabel);
    Bind(IDC_PASSWORD_LABEL, passwordLabel);
    Bind(IDC_SERVER_LABEL, serverLabel);
    Bind(IDC_ENDPOINT_LABEL, endpointLabel);
    // Cancel (and Escape) is the standard one: it takes nothing from the boxes.
}

void BlogAuth::SetRetryValues(const core::String& serverText, const core::String& endpointText,
                              const core::String& userNameText, int rememberFlag) {
    server = serverText;
    endpoint = endpointText;
    userName = userNameText;
    remember = rememberFlag;
    retry = true;
}

bool BlogAuth::OnInitDialog() {
    fw::Dialog::SetCaption(caption);
    if (!showServerFields) {
        collapseHeight = CollapseServerRows(Hwnd(), groupBox, passwordBox, endpointBox,
                                            {&endpointBox, &endpointLabel, &serverBox, &serverLabel},
                                            {&rememberBox, &okButton, &cancelButton});
    }
    if (retry) {
        if (showServerFields) {
            serverBox.SetText(server);
            endpointBox.SetText(endpoint);
        }
        userNameBox.SetText(userName);
        rememberBox.SetChecked(remember != 0);
        ::SetFocus(passwordBox.Hwnd());
        return false;  // the focus is set
    }
    // The boxes start empty and the focus goes to the first tab stop, the user name.
    return true;
}

void BlogAuth::OnOK() {
    // Nothing is checked here: the session reports an empty user name or
    // password when it comes to use them.
    userName = userNameBox.Text();
    password = passwordBox.Text();
    if (showServerFields) {
        server = serverBox.Text();
        endpoint = endpointBox.Text();
    } else {
        server.clear();
        endpoint.clear();
    }
    remember = rememberBox.IsChecked() ? 1 : 0;
    EndDialog(IDOK);
}
