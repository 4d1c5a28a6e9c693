#include "tools/tarvex-sim/event_log.h"

#include <cstdio>

namespace sim {

EventLog& Log() {
    static EventLog log;
    return log;
}

bool EventLog::Open(const std::wstring& path) {
    std::lock_guard<std::mutex> guard(lock_);
    path_ = path;
    if (path_.empty()) return true;
    HANDLE file = ::CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

void EventLog::Write(const std::string& line) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!path_.empty() && !tools::AppendLine(path_, line))
        std::fprintf(stderr, "tarvex-sim: cannot write the log file\n");
}

void EventLog::Call(const char* interfaceName, const char* method, const std::vector<std::string>& args) {
    std::string line = "{\"event\":\"call\",\"interface\":" + tools::JsonString(interfaceName) +
                       ",\"method\":" + tools::JsonString(method) + ",\"args\":[";
    for (size_t i = 0; i < args.size(); ++i) line += (i ? "," : "") + args[i];
    Write(line + "]}");
}

void EventLog::MessageBox(const std::string& caption, const std::string& text, const std::string& buttons,
                          const std::string& answer) {
    Write("{\"event\":\"messagebox\",\"caption\":" + tools::JsonString(caption) + ",\"text\":" +
          tools::JsonString(text) + ",\"buttons\":" + tools::JsonString(buttons) + ",\"answer\":" +
          tools::JsonString(answer) + "}");
}

void EventLog::Result(long hresult) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hresult));
    Write(std::string("{\"event\":\"result\",\"hresult\":\"") + text + "\"}");
}

} // namespace sim
