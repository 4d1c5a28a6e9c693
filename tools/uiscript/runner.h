#pragma once
// Runs a UI script against the windows of THIS process, from a thread that
// is not the user-interface thread: the code under test runs its modal
// dialogs on its own thread while the script answers them.
//
//   uiscript::Options options;
//   uiscript::ScriptThread script(R"(wait "Velluma"
//   answer ok)", options);
//   RunTheModalCode();                       // on the test's main thread
//   uiscript::Result result = script.Join(); // bounded by the script's waits
//   EXPECT_TRUE(result.ok) << result.message;
//
// Windows are found per process (GetWindowThreadProcessId), never with a
// desktop-wide FindWindow, so parallel test programs on one display do not
// drive each other's dialogs. Every wait is bounded.

#include "tools/uiscript/script.h"

#include <windows.h>

#include <functional>
#include <string>
#include <thread>

namespace uiscript {

struct MessageBoxSeen {
    std::string caption;  // UTF-8
    std::string text;
    std::string buttons;  // "ok", "okcancel", "yesno", "yesnocancel"
    std::string answer;   // "ok", "yes", "no"
};

struct Options {
    DWORD timeoutMs = 10000;       // limit of every wait (windows, message boxes, state changes)
    // The process whose windows the script drives; 0: this one. Another
    // process (an installer a test started) is driven the same way, except
    // that steps there settle when that process waits for input again
    // (WaitForInputIdle) and expectations wait up to timeoutMs, as no hook
    // can mark when that process has handled a step.
    DWORD processId = 0;
    std::wstring screenshotFolder;  // where `shot` writes NAME.png; empty: shots are skipped (and logged)
    // Called from the script's thread for every message box it answers,
    // before the answer is pressed (the box is still up).
    std::function<void(const MessageBoxSeen&)> onMessageBox;
    // Progress lines (UTF-8, one per step); optional.
    std::function<void(const std::string&)> log;
};

struct Result {
    bool ok = true;
    int line = 0;         // the failed step's line; 0 when the script did not parse or all went well
    std::string message;  // "line 4: expect 1001 text \"x\": the text is \"y\""
};

// Parses and runs the script on the calling thread, which must not be the
// thread whose windows it drives (its modal loops would never see a step).
Result RunScript(const std::string& scriptText, const Options& options);

// Runs the script on a thread of its own, started by the constructor.
class ScriptThread {
public:
    ScriptThread(std::string scriptText, Options options);
    ~ScriptThread();  // joins
    ScriptThread(const ScriptThread&) = delete;
    ScriptThread& operator=(const ScriptThread&) = delete;

    bool Finished() const { return ::WaitForSingleObject(done_, 0) == WAIT_OBJECT_0; }
    // Waits up to `ms` for the script to end.
    bool WaitFor(DWORD ms) const { return ::WaitForSingleObject(done_, ms) == WAIT_OBJECT_0; }
    // Waits for the end (the script's own waits bound it) and gives the result.
    Result Join();

private:
    Result result_;
    HANDLE done_;
    std::thread thread_;
};

} // namespace uiscript
