// Executes UI script steps against the windows of this process, one after
// the other. The script runs on its own thread; the windows belong to the
// code under test's user-interface thread, which is usually inside a modal
// loop. The parts do the work: find.h (windows and controls), ui_thread.h
// (the hold on that thread), input.h, expect.h, message_box.h, screenshot.h.

#include "tools/uiscript/runner.h"

#include "tools/uiscript/expect.h"
#include "tools/uiscript/find.h"
#include "tools/uiscript/input.h"
#include "tools/uiscript/message_box.h"
#include "tools/uiscript/screenshot.h"
#include "tools/uiscript/step_failure.h"
#include "tools/uiscript/ui_thread.h"

namespace uiscript {

namespace {

class Runner {
public:
    explicit Runner(const Options& options)
        : options_(options), ui_(options.timeoutMs, options.processId), input_(ui_, options.log) {}

    void Run(const Step& step) {
        switch (step.op) {
        case Op::Wait: Wait(step.text, false); break;
        case Op::WaitClass: Wait(step.text, true); break;
        case Op::Set: input_.SetText(step.id, step.text); break;
        case Op::Click: input_.Click(step.id); break;
        case Op::ClickChar: input_.ClickChar(step.id, step.numbers[0]); break;
        case Op::Check: input_.SetCheck(step.id, true); break;
        case Op::Uncheck: input_.SetCheck(step.id, false); break;
        case Op::Select: input_.Select(step.id, step.numbers[0], step.numbers[1]); break;
        case Op::Combo: input_.Combo(step.id, step.numbers[0]); break;
        case Op::Focus: input_.Focus(step.id); break;
        case Op::Type: input_.Type(step.text); break;
        case Op::Key: input_.Key(step.key, step.letter); break;
        case Op::Expect: Expect(ui_, step); break;
        case Op::Answer: AnswerMessageBox(ui_, options_, step.answer); break;
        case Op::Close: input_.Close(); break;
        case Op::ClickWindow: input_.ClickWindow(); break;
        case Op::Shot: Shot(step.text); break;
        case Op::Sleep: ::Sleep(static_cast<DWORD>(step.numbers[0])); break;
        }
    }

private:
    void Wait(const std::string& wanted, bool byClass) {
        const std::wstring name = Wide(wanted);
        HWND found = nullptr;
        Poll([&] {
            found = FindTopLevel(ui_.ProcessId(), [&](HWND w) { return byClass ? ClassOf(w) == name : TextOf(w) == name; });
            return found != nullptr;
        }, options_.timeoutMs);
        if (!found)
            Fail(std::string(ui_.Foreign() ? "no window of process " + std::to_string(ui_.ProcessId()) + " "
                                           : "no window of this process ") +
                 (byClass ? "of class " : "with caption ") + "\"" + wanted + "\" appeared within " +
                 std::to_string(options_.timeoutMs) + " ms" + VisibleWindows());
        ui_.Adopt(found);
    }

    // The captions of the process's visible top-level windows, for a failed wait.
    std::string VisibleWindows() {
        std::string list;
        FindTopLevel(ui_.ProcessId(), [&](HWND w) {
            list += (list.empty() ? " (visible now: " : ", ") + Quoted(TextOf(w));
            return false;
        });
        return list.empty() ? " (none visible)" : list + ")";
    }

    void Shot(const std::string& name) {
        if (ui_.Foreign()) ui_.Settle();  // painted what the last step changed
        if (options_.screenshotFolder.empty()) {
            if (options_.log) options_.log("shot " + name + " skipped: no screenshot folder");
            return;
        }
        const std::wstring file = ShotFile(options_.screenshotFolder, name);
        if (!WriteScreenPng(file)) Fail("the screenshot could not be written to " + Utf8(file));
        if (options_.log) options_.log("shot " + Utf8(file));
    }

    const Options& options_;
    UiThread ui_;
    Input input_;
};

} // namespace

Result RunScript(const std::string& scriptText, const Options& options) {
    Result result;
    const Script script = Parse(scriptText);
    if (!script.ok()) {
        result.ok = false;
        result.line = script.errors.front().line;
        result.message = "line " + std::to_string(result.line) + ": " + script.errors.front().message;
        return result;
    }
    Runner runner(options);
    for (const Step& step : script.steps) {
        if (options.log) options.log("line " + std::to_string(step.line) + ": " + Describe(step));
        try {
            runner.Run(step);
        } catch (const StepFailure& failure) {
            result.ok = false;
            result.line = step.line;
            result.message = "line " + std::to_string(step.line) + ": " + Describe(step) + ": " + failure.message;
            return result;
        }
    }
    return result;
}

ScriptThread::ScriptThread(std::string scriptText, Options options)
    : done_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this, text = std::move(scriptText), opts = std::move(options)] {
        result_ = RunScript(text, opts);
        ::SetEvent(done_);
    });
}

ScriptThread::~ScriptThread() {
    if (thread_.joinable()) thread_.join();
    ::CloseHandle(done_);
}

Result ScriptThread::Join() {
    if (thread_.joinable()) thread_.join();
    return result_;
}

} // namespace uiscript
