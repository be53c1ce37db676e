# Compiles each installed public header on its own against the prefix: every
# header must bring what it needs, and none may reach for a file that is not
# installed.

include(${CMAKE_CURRENT_LIST_DIR}/PackagingHelpers.cmake)
packaging_require(PREFIX INCLUDEDIR CXX_COMPILER WORK_DIR)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(GLOB_RECURSE headers RELATIVE "${PREFIX}/${INCLUDEDIR}" "${PREFIX}/${INCLUDEDIR}/workinstructions/*.hpp"
     "${PREFIX}/${INCLUDEDIR}/kvsoa/*.hpp")
if(NOT headers)
  message(FATAL_ERROR "No public headers under ${PREFIX}/${INCLUDEDIR}")
endif()

set(failures)
foreach(header IN LISTS headers)
  string(MAKE_C_IDENTIFIER "${header}" stem)
  set(unit "${WORK_DIR}/${stem}.cpp")
  # Twice: the include guard must hold as well.
  file(WRITE "${unit}" "#include <${header}>\n#include <${header}>\n")
  execute_process(
    COMMAND "${CXX_COMPILER}" -std=c++17 -fsyntax-only -Wall -Wextra -Werror "-I${PREFIX}/${INCLUDEDIR}" "${unit}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    list(APPEND failures "${header}:\n${output}")
  endif()
endforeach()

list(LENGTH headers count)
if(failures)
  list(JOIN failures "\n" shown)
  message(FATAL_ERROR "Headers that do not compile on their own:\n${shown}")
endif()
message(STATUS "${count} headers compile on their own")
