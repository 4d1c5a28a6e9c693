# The UI script parser with the control names of resources/resource.h:
# portable, so the parser tests run natively too. Included by
# tools/uiscript (Windows) and tests/portable; defined once.
if(NOT TARGET uiscript_script)
  set(uiscript_names ${CMAKE_BINARY_DIR}/generated/tools/uiscript/resource_names.cpp)
  add_custom_command(OUTPUT ${uiscript_names}
    COMMAND ${CMAKE_COMMAND} -DHEADER=${CMAKE_SOURCE_DIR}/resources/resource.h -DOUTPUT=${uiscript_names}
            -P ${CMAKE_CURRENT_LIST_DIR}/resource_names.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/resource.h ${CMAKE_CURRENT_LIST_DIR}/resource_names.cmake
    COMMENT "UI script control names from resources/resource.h"
    VERBATIM)
  add_library(uiscript_script STATIC ${CMAKE_CURRENT_LIST_DIR}/script.cpp ${uiscript_names})
  target_include_directories(uiscript_script PUBLIC ${CMAKE_SOURCE_DIR})
endif()
