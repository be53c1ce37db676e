# Runs the export check on a library built to leak internals and requires it
# to fail, naming each leak: a check that passes everything would be no check.

include(${CMAKE_CURRENT_LIST_DIR}/PackagingHelpers.cmake)
packaging_require(NM LEAKY_LIBRARY RUNTIME_LIBRARY TYPES_HEADERS RUNTIME_HEADERS)

execute_process(
  COMMAND "${CMAKE_COMMAND}" "-DNM=${NM}" "-DTYPES_LIBRARY=${LEAKY_LIBRARY}" "-DRUNTIME_LIBRARY=${RUNTIME_LIBRARY}"
          "-DTYPES_HEADERS=${TYPES_HEADERS}" "-DRUNTIME_HEADERS=${RUNTIME_HEADERS}"
          -P "${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "The export check passed a library that leaks internals:\n${output}")
endif()

set(expected
  "outside the public namespaces (T): engine::walk()"
  "engine or parser internal: XML_ParserCreate"
  "engine or parser internal: Velmora::Schemas::Mes::_2010_09::Workinstructions::detail::writeObject"
  "detail:: symbol that no header exports: Velmora::Schemas::Mes::_2010_09::Workinstructions::detail::reserveArray(int)"
  "member declared hidden is exported: Velmora::Schemas::Mes::_2010_09::Workinstructions::Leaky::schema()"
  "defines a symbol that is not its own (T): Kavella::Soa::Common::lexicalHelper()"
  "class SavedObjectsResponse is not exported")
set(missed)
foreach(text IN LISTS expected)
  string(FIND "${output}" "${text}" at)
  if(at EQUAL -1)
    list(APPEND missed "${text}")
  endif()
endforeach()
if(missed)
  list(JOIN missed "\n  " shown)
  message(FATAL_ERROR "The export check did not report:\n  ${shown}\nIts output:\n${output}")
endif()
