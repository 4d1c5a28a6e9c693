#pragma once
// Runs the stand-in programs of the build (found next to the test program)
// in a folder of the test's own, and reads what they leave behind.

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

namespace simtest {

namespace fs = std::filesystem;

// The folder of the running test program (build/windows/bin).
fs::path ProgramFolder();

// The publishing test double (build/windows/double/KeloPublish.dll), or its
// build with the two optional exports (double/last-texts); the accessory
// folder of the build holds the real library.
fs::path PublishingDouble(bool withLastTexts = false);

// A new empty folder under the temporary folder, removed by the destructor.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

struct RunResult {
    DWORD exitCode = 0;
    bool timedOut = false;
    std::string out;  // stdout, UTF-8 as written
    std::string err;
};

// Runs `program` with `args`; TMP and TEMP point into `temp` so that the
// files the component leaves in the temporary folder go away with it.
// A run that outlives `timeoutMs` is killed (timedOut).
RunResult RunProgram(const fs::path& program, const std::vector<std::wstring>& args, const fs::path& temp,
               const std::vector<std::pair<std::wstring, std::wstring>>& env = {}, DWORD timeoutMs = 60000);

// The UI script steps that answer the log-in dialog of a first send: ann
// with password "secret" at blog.example's /xmlrpc.php, then OK.
extern const char kLogInSteps[];

std::string ReadFile(const fs::path& path);
void WriteFile(const fs::path& path, const std::string& content);
std::vector<std::string> Lines(const std::string& text);

} // namespace simtest
