#pragma once
// The publishing double (KeloPublish.dll) in a folder of a test's own: the
// test scripts it through the files there and reads what it was asked from
// its calls log. The component is given LibraryPath() as the library to load.

#include "tests/windows/sim_harness.h"

#include <string>
#include <vector>

namespace simtest {

class PublishDouble {
public:
    // A copy of the plain build, or of the one with the two optional exports.
    explicit PublishDouble(bool lastTexts = false);

    fs::path LibraryPath() const { return folder_ / "KeloPublish.dll"; }
    const fs::path& Folder() const { return folder_.path(); }

    // Writes KeloPublish.<name> (UTF-8 as given) or removes it.
    void Script(const std::string& name, const std::string& content) const;
    void Unscript(const std::string& name) const;

    // The calls log's lines for one export, in order; ForgetCalls starts it afresh.
    std::vector<std::string> Calls(const std::string& exportName) const;
    void ForgetCalls() const;

private:
    TempFolder folder_;
};

// The value of `name` in one line of the calls log: a string unescaped
// (UTF-8), a number or null as written, "<no NAME>" when there is none;
// NumberField gives LLONG_MIN for anything but an integer.
std::string Field(const std::string& line, const std::string& name);
std::wstring WideField(const std::string& line, const std::string& name);
long long NumberField(const std::string& line, const std::string& name);

} // namespace simtest
