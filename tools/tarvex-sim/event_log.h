#pragma once
// The simulator's --log: JSON Lines, one event per line, in the order the
// events happen. Written from the user-interface thread (host calls, the
// entry point's result) and from the UI script's thread (message boxes), so
// each line is appended whole under a lock.

#include "tools/common/json_text.h"

#include <mutex>
#include <string>
#include <vector>

namespace sim {

class EventLog {
public:
    // Starts a new log file (an empty path: events are dropped).
    bool Open(const std::wstring& path);

    // {"event":"call","interface":I,"method":M,"args":[...]}; args are JSON values.
    void Call(const char* interfaceName, const char* method, const std::vector<std::string>& args = {});
    void MessageBox(const std::string& caption, const std::string& text, const std::string& buttons,
                    const std::string& answer);
    void Result(long hresult);

private:
    void Write(const std::string& line);
    std::mutex lock_;
    std::wstring path_;
};

EventLog& Log();

// JSON values for call arguments.
inline std::string Arg(const wchar_t* text) { return tools::JsonString(text); }
inline std::string Arg(long long number) { return std::to_string(number); }

} // namespace sim
