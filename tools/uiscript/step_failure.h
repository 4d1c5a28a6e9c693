#pragma once
// How a step fails: the parts of the runner throw, the runner catches it at
// the step and reports its line. Never crosses into the code under test.

#include <string>
#include <utility>

namespace uiscript {

struct StepFailure {
    std::string message;
};

[[noreturn]] inline void Fail(std::string message) { throw StepFailure{std::move(message)}; }

} // namespace uiscript
