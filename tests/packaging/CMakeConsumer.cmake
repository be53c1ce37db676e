# Configures, builds and runs examples/consumer against the installed prefix,
# the way a user's project finds the library: find_package through
# CMAKE_PREFIX_PATH, nothing from the build tree. With SERVICE, its client
# program too, on the service library.

include(${CMAKE_CURRENT_LIST_DIR}/PackagingHelpers.cmake)
packaging_require(PREFIX CONSUMER_SOURCE WORK_DIR GENERATOR CXX_COMPILER)

file(REMOVE_RECURSE "${WORK_DIR}")
set(build_type_option)
if(BUILD_TYPE)
  set(build_type_option "-DCMAKE_BUILD_TYPE=${BUILD_TYPE}")
endif()
set(make_option)
if(MAKE_PROGRAM)
  set(make_option "-DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM}")
endif()
packaging_run("Configuring the consumer"
  COMMAND "${CMAKE_COMMAND}" -S "${CONSUMER_SOURCE}" -B "${WORK_DIR}" -G "${GENERATOR}" ${make_option}
          "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" ${build_type_option}
          "-DCMAKE_PREFIX_PATH=${PREFIX}"
          -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF)

# The package must have come from the fresh prefix, not from anywhere else.
file(STRINGS "${WORK_DIR}/CMakeCache.txt" found_dir REGEX "^kvsoamestypes_DIR:")
string(REGEX REPLACE "^[^=]*=" "" found_dir "${found_dir}")
file(REAL_PATH "${PREFIX}" prefix_real)
file(REAL_PATH "${found_dir}" found_real)
cmake_path(IS_PREFIX prefix_real "${found_real}" inside)
if(NOT inside)
  message(FATAL_ERROR "find_package(kvsoamestypes) used ${found_dir}, not the package in ${PREFIX}")
endif()

packaging_run("Building the consumer" COMMAND "${CMAKE_COMMAND}" --build "${WORK_DIR}")

set(names consumer)
if(SERVICE)
  list(APPEND names client_consumer)
endif()
unset(ENV{LD_LIBRARY_PATH})
foreach(name IN LISTS names)
  file(GLOB_RECURSE programs "${WORK_DIR}/${name}" "${WORK_DIR}/*/${name}" "${WORK_DIR}/${name}.exe"
       "${WORK_DIR}/*/${name}.exe")
  if(NOT programs)
    message(FATAL_ERROR "The consumer build left no program ${name} in ${WORK_DIR}")
  endif()
  list(GET programs 0 program)
  packaging_run("Running ${name}" COMMAND "${program}" OUTPUT output)
  message(STATUS "${program}:\n${output}")
endforeach()
