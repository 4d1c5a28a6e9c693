// Placeholder controller until the account and editor work lands: it keeps
// the inputs and posts nothing.
#include "account/blog_post_session.h"

void BlogPostSession::Setup(int type, const core::String& accessory, const core::String& data,
                            const core::String& image, HWND parent, HICON icon) {
    serviceType = type;
    accessoryFolder = accessory;
    dataFolder = data;
    imagePath = image;
    parentWindow = parent;
    editorIcon = icon;
}

bool BlogPostSession::LogInAndEdit() { return false; }

bool BlogPostSession::ShowOptions(int, const core::String& data, HWND parent) {
    dataFolder = data;
    parentWindow = parent;
    return false;
}
