#pragma once
// The names that resources/resource.h defines as numbers, generated from it
// at build time (resource_names.cmake): the control, command and other ids
// a UI script may name instead of writing their numbers.

#include <cstddef>

namespace uiscript {

struct NamedId {
    const char* name;
    int id;
};

extern const NamedId kResourceNames[];
extern const std::size_t kResourceNameCount;

} // namespace uiscript
