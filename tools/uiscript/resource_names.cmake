# cmake -DHEADER=resources/resource.h -DOUTPUT=resource_names.cpp -P resource_names.cmake
# Writes the table of the names resource.h defines as numbers
# ("#define NAME 123" or "0x7B"), so UI scripts can say `click IDC_FOO`.
# A #define with any other value is no name for scripts, and is left out.
file(STRINGS "${HEADER}" lines REGEX "^[ \t]*#[ \t]*define[ \t]")
set(rows "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*#[ \t]*define[ \t]+([A-Za-z_][A-Za-z0-9_]*)[ \t]+(0[xX][0-9A-Fa-f]+|[0-9]+)[ \t]*(//.*)?$")
    string(APPEND rows "    {\"${CMAKE_MATCH_1}\", ${CMAKE_MATCH_2}},\n")
  endif()
endforeach()
if(rows STREQUAL "")
  message(FATAL_ERROR "${HEADER} defines no numeric ids")
endif()
set(text "// Generated from resources/resource.h by tools/uiscript/resource_names.cmake; do not edit.
#include \"tools/uiscript/resource_names.h\"

namespace uiscript {

const NamedId kResourceNames[] = {
${rows}};
const std::size_t kResourceNameCount = sizeof kResourceNames / sizeof kResourceNames[0];

} // namespace uiscript
")
# Rewritten only when it changes, so a touched resource.h rebuilds nothing else.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
