#pragma once
// The blog services an account can belong to. The value is handed to the
// publishing library with every call; the log-in dialogs and the editor
// decide a few things by it.

enum BlogServiceType {
    kServiceTypePad = 0,
    kServiceHosted = 1,
    kServiceVelluma = 2,   // self-hosted: log-in asks for server and endpoint too
    kServiceLiveJournal = 3,
};
