# Runs a guide example and compares what it prints with the expected output
# quoted in the guide, so that neither can change without the other.
#   cmake -DCOMMAND=program;args -DEXPECTED=file.out -P CompareOutput.cmake

execute_process(COMMAND ${COMMAND} OUTPUT_VARIABLE actual ERROR_VARIABLE errors RESULT_VARIABLE status)
file(READ "${EXPECTED}" expected)
if(NOT actual STREQUAL expected)
  string(REPLACE ";" " " shown "${COMMAND}")
  message(FATAL_ERROR "${shown} printed (exit status ${status}):\n${actual}${errors}\n"
                      "instead of ${EXPECTED}:\n${expected}")
endif()
