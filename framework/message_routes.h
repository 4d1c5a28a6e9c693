#pragma once
// The handler tables of a dialog or frame window, and the one routine that
// looks a message up in them.
//
// A message goes to the message table first; WM_COMMAND then goes on to the
// command table and WM_NOTIFY to the notification table. Entries are tried in
// the order they were added. One rule for every table: a handler that returns
// a result takes the message, and one that returns nothing passes it on to
// the next matching entry. When no entry takes it, Route() returns nothing
// and the window gives the message its default handling. (A command handler
// returns nothing to say, so it always takes its command.)

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <optional>
#include <vector>

namespace fw {

class MessageRoutes {
public:
    using CommandHandler = std::function<void()>;
    // Returns the notification's result, or nothing to pass it on.
    using NotifyHandler = std::function<std::optional<LRESULT>(NMHDR&)>;
    // Returns the message's result, or nothing to pass it on.
    using MessageHandler = std::function<std::optional<LRESULT>(WPARAM, LPARAM)>;

    // Any notification code of the control or command `id`.
    void OnCommand(int id, CommandHandler handler);
    // Only notification `code` (for example CBN_SELCHANGE) from control `id`.
    void OnCommandCode(int id, WORD code, CommandHandler handler);
    void OnNotify(int id, UINT code, NotifyHandler handler);
    // Notification `code` from any id in [firstId, lastId] (tool tips).
    void OnNotifyRange(UINT code, UINT_PTR firstId, UINT_PTR lastId, NotifyHandler handler);
    void OnMessage(UINT message, MessageHandler handler);

    // The result of the first entry that takes the message; nothing when no
    // entry does. Whatever a handler throws goes on to the caller.
    std::optional<LRESULT> Route(UINT message, WPARAM wParam, LPARAM lParam) const;

private:
    struct CommandRoute { int id; std::optional<WORD> code; CommandHandler handler; };
    struct NotifyRoute { UINT code; UINT_PTR firstId; UINT_PTR lastId; NotifyHandler handler; };
    struct MessageRoute { UINT message; MessageHandler handler; };

    std::vector<CommandRoute> commands_;
    std::vector<NotifyRoute> notifications_;
    std::vector<MessageRoute> messages_;
};

} // namespace fw
