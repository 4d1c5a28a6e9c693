#include "framework/message_routes.h"

namespace fw {

void MessageRoutes::OnCommand(int id, CommandHandler handler) {
    commands_.push_back({id, std::nullopt, std::move(handler)});
}

void MessageRoutes::OnCommandCode(int id, WORD code, CommandHandler handler) {
    commands_.push_back({id, code, std::move(handler)});
}

void MessageRoutes::OnNotify(int id, UINT code, NotifyHandler handler) {
    notifications_.push_back({code, static_cast<UINT_PTR>(id), static_cast<UINT_PTR>(id), std::move(handler)});
}

void MessageRoutes::OnNotifyRange(UINT code, UINT_PTR firstId, UINT_PTR lastId, NotifyHandler handler) {
    notifications_.push_back({code, firstId, lastId, std::move(handler)});
}

void MessageRoutes::OnMessage(UINT message, MessageHandler handler) {
    messages_.push_back({message, std::move(handler)});
}

std::optional<LRESULT> MessageRoutes::Route(UINT message, WPARAM wParam, LPARAM lParam) const {
    for (const MessageRoute& route : messages_) {
        if (route.message != message) continue;
        if (std::optional<LRESULT> result = route.handler(wParam, lParam)) return result;
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        const WORD code = HIWORD(wParam);
        for (const CommandRoute& route : commands_) {
            if (route.id != id || (route.code && *route.code != code)) continue;
            route.handler();
            return 0;
        }
    } else if (message == WM_NOTIFY && lParam) {
        auto& header = *reinterpret_cast<NMHDR*>(lParam);
        for (const NotifyRoute& route : notifications_) {
            if (route.code != header.code || header.idFrom < route.firstId || header.idFrom > route.lastId) continue;
            if (std::optional<LRESULT> result = route.handler(header)) return result;
        }
    }
    return std::nullopt;
}

} // namespace fw
