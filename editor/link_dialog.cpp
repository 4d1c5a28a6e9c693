#include "editor/link_dialog.h"

#include "resources/resource.h"

CLinkDialog::CLinkDialog(HWND owner) : Dialog(IDD_CREATE_LINK, owner) {
    Bind(IDC_LINK_URL_RADIO, urlRadio_);
    Bind(IDC_LINK_EMAIL_RADIO, emailRadio_);
    Bind(IDC_LINK_URL_TEXT, urlText_);
    Bind(IDC_LINK_URL_ADDRESS, urlAddress_);
    Bind(IDC_LINK_EMAIL_TEXT, emailText_);
    Bind(IDC_LINK_EMAIL_ADDRESS, emailAddress_);
    Bind(IDC_LINK_SUBJECT, subject_);
    OnCommandCode(IDC_LINK_URL_RADIO, BN_CLICKED, [this] { OnUrlType(); });
    OnCommandCode(IDC_LINK_EMAIL_RADIO, BN_CLICKED, [this] { OnEmailType(); });
}

void CLinkDialog::EnableUrlGroup(bool enabled) const {
    for (int id : {IDC_LINK_URL_TEXT_LABEL, IDC_LINK_URL_ADDRESS_LABEL, IDC_LINK_URL_TEXT, IDC_LINK_URL_ADDRESS}) {
        EnableItem(id, enabled);
    }
}

void CLinkDialog::EnableEmailGroup(bool enabled) const {
    for (int id : {IDC_LINK_EMAIL_TEXT_LABEL, IDC_LINK_EMAIL_ADDRESS_LABEL, IDC_LINK_SUBJECT_LABEL, IDC_LINK_EMAIL_TEXT,
                   IDC_LINK_EMAIL_ADDRESS, IDC_LINK_SUBJECT}) {
        EnableItem(id, enabled);
    }
}

bool CLinkDialog::OnInitDialog() {
    isUrl = true;
    EnableEmailGroup(false);
    urlRadio_.SetChecked(true);
    urlAddress_.SetText(address);
    if (!displayText.empty()) {
        // The selection proposes the text in both types; the user most likely
        // wants to type the address next.
        urlText_.SetText(displayText);
        emailText_.SetText(displayText);
        urlAddress_.Focus();
    } else {
        urlText_.Focus();
    }
    return false;  // focus set here
}

// The two types are auto radio buttons, but with edits between them in the
// group Wine leaves the other one checked; OK reads the URL button's state,
// so the pair is set explicitly.
void CLinkDialog::OnUrlType() {
    ::CheckRadioButton(Hwnd(), IDC_LINK_URL_RADIO, IDC_LINK_EMAIL_RADIO, IDC_LINK_URL_RADIO);
    EnableUrlGroup(true);
    EnableEmailGroup(false);
    if (urlText_.Text().empty()) urlText_.Focus();
    else urlAddress_.Focus();
}

void CLinkDialog::OnEmailType() {
    ::CheckRadioButton(Hwnd(), IDC_LINK_URL_RADIO, IDC_LINK_EMAIL_RADIO, IDC_LINK_EMAIL_RADIO);
    EnableEmailGroup(true);
    EnableUrlGroup(false);
    if (emailText_.Text().empty()) emailText_.Focus();
    else emailAddress_.Focus();
}

void CLinkDialog::OnOK() {
    // The type is the URL button's state now, not the radio clicked last; the
    // other type's edits are not read.
    if (urlRadio_.IsChecked()) {
        displayText = urlText_.Text();
        address = urlAddress_.Text();
        isUrl = true;
    } else {
        displayText = emailText_.Text();
        emailAddress = emailAddress_.Text();
        subject = subject_.Text();
        isUrl = false;
    }
    EndDialog(IDOK);
}
