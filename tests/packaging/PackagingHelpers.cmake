# Shared by the packaging check scripts (run with cmake -P).
cmake_minimum_required(VERSION 3.21)

if(MISSING_TOOL)
  message(FATAL_ERROR "${MISSING_TOOL} was not found when the build was configured: "
                      "install the program (scripts/install-deps) and configure again")
endif()

# Runs a command and stops the check with its output when it fails.
#   packaging_run(<what> COMMAND <command...> [OUTPUT <var>] [WORKING_DIRECTORY <dir>])
function(packaging_run what)
  cmake_parse_arguments(arg "" "OUTPUT;WORKING_DIRECTORY" "COMMAND" ${ARGN})
  if(NOT arg_WORKING_DIRECTORY)
    set(arg_WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  endif()
  execute_process(COMMAND ${arg_COMMAND}
    WORKING_DIRECTORY "${arg_WORKING_DIRECTORY}"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    list(JOIN arg_COMMAND " " shown)
    message(FATAL_ERROR "${what} failed (${result}):\n  ${shown}\n${output}${errors}")
  endif()
  if(arg_OUTPUT)
    set(${arg_OUTPUT} "${output}" PARENT_SCOPE)
  endif()
endfunction()

# Stops the check unless every named variable was passed with -D.
function(packaging_require)
  foreach(name IN LISTS ARGN)
    if(NOT DEFINED ${name} OR "${${name}}" STREQUAL "")
      message(FATAL_ERROR "missing -D${name}=...")
    endif()
  endforeach()
endfunction()

# Splits command output into a list of lines. Square brackets would stop CMake
# from splitting at the semicolons after them, so they become braces.
function(packaging_lines text out)
  string(REPLACE "[" "{" text "${text}")
  string(REPLACE "]" "}" text "${text}")
  string(REPLACE ";" "\\;" text "${text}")
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()
