# Runs Doxygen with the reference's settings into a scratch directory.
#   MODE=reference     the real input: any warning fails.
#   MODE=undocumented  a header with one undocumented member: must fail, so that
#                      the settings keep refusing what the reference must not lack.
# Needs DOXYGEN, DOXYFILE (the configured one) and WORK_DIR.

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(READ "${DOXYFILE}" config)
if(MODE STREQUAL "undocumented")
  file(WRITE "${WORK_DIR}/Probe.hpp"
       "/// A documented class.\nclass Probe {\npublic:\n    /// Documented.\n    int documented();\n    int forgotten();\n};\n")
  string(APPEND config "\nINPUT = ${WORK_DIR}/Probe.hpp\nUSE_MDFILE_AS_MAINPAGE =\n")
endif()
# A later assignment overrides the earlier one.
string(APPEND config "\nOUTPUT_DIRECTORY = ${WORK_DIR}\n")
file(WRITE "${WORK_DIR}/Doxyfile" "${config}")

execute_process(COMMAND "${DOXYGEN}" "${WORK_DIR}/Doxyfile" WORKING_DIRECTORY "${WORK_DIR}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE warnings)
if(MODE STREQUAL "undocumented")
  if(status EQUAL 0 OR NOT warnings MATCHES "forgotten\\(\\)[^\n]*is not documented")
    message(FATAL_ERROR "An undocumented member did not fail the reference (exit status ${status}):\n${warnings}")
  endif()
  if(warnings MATCHES "documented\\(\\)[^\n]*is not documented")
    message(FATAL_ERROR "A documented member was reported:\n${warnings}")
  endif()
elseif(NOT status EQUAL 0 OR warnings)
  message(FATAL_ERROR "The reference has warnings (exit status ${status}):\n${warnings}")
endif()
