#pragma once
// The "Create Link" dialog (template 3129) that the editor's Create link
// command opens. It only collects what the user typed; the caller decides
// what to do with empty fields and builds the address (core/link_text.h).

#include "core/text.h"
#include "framework/controls.h"
#include "framework/dialog.h"

class CLinkDialog : public fw::Dialog {
public:
    explicit CLinkDialog(HWND owner = nullptr);

    bool IsUrl() const { return isUrl; }

    // In: the proposed display text and URL address. Out after OK: the
    // display text of the chosen type with `address`, or with `emailAddress`
    // and `subject`. Cancel leaves all four as they were.
    core::String displayText;
    core::String address;
    core::String emailAddress;
    core::String subject;

protected:
    bool OnInitDialog() override;
    void OnOK() override;

private:
    void OnUrlType();
    void OnEmailType();
    void EnableUrlGroup(bool enabled) const;
    void EnableEmailGroup(bool enabled) const;

    bool isUrl = true;
    fw::Button urlRadio_;
    fw::Button emailRadio_;
    fw::Edit urlText_;
    fw::Edit urlAddress_;
    fw::Edit emailText_;
    fw::Edit emailAddress_;
    fw::Edit subject_;
};
