# Builds and runs the one-file consumer with nothing but the compiler and
# pkg-config pointed at the installed prefix, as docs/install.md tells users to.

include(${CMAKE_CURRENT_LIST_DIR}/PackagingHelpers.cmake)
packaging_require(PREFIX LIBDIR PKG_CONFIG CXX_COMPILER CONSUMER_SOURCE WORK_DIR VERSION)

set(ENV{PKG_CONFIG_PATH} "${PREFIX}/${LIBDIR}/pkgconfig")
packaging_run("pkg-config --modversion" COMMAND "${PKG_CONFIG}" --modversion kvsoamestypes OUTPUT version)
string(STRIP "${version}" version)
if(NOT version STREQUAL VERSION)
  message(FATAL_ERROR "pkg-config reports version ${version}, the project is ${VERSION}")
endif()

packaging_run("pkg-config --variable=schemadir" COMMAND "${PKG_CONFIG}" --variable=schemadir kvsoamestypes
  OUTPUT schema_dir)
string(STRIP "${schema_dir}" schema_dir)
if(NOT EXISTS "${schema_dir}/WorkInstructions.xsd")
  message(FATAL_ERROR "pkg-config's schemadir ${schema_dir} holds no WorkInstructions.xsd")
endif()

packaging_run("pkg-config --cflags --libs" COMMAND "${PKG_CONFIG}" --cflags --libs kvsoamestypes OUTPUT flags)
string(STRIP "${flags}" flags)
separate_arguments(flags UNIX_COMMAND "${flags}")
foreach(library IN ITEMS -lkvsoamestypes -lkvsoacommon)
  if(NOT library IN_LIST flags)
    message(FATAL_ERROR "pkg-config --libs kvsoamestypes lacks ${library}: ${flags}")
  endif()
endforeach()

# Headers reach the user through -I, not as system headers: they must be
# warning-free under the flags our users commonly build with.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(program "${WORK_DIR}/pkgconfig_consumer")
packaging_run("Compiling the pkg-config consumer"
  COMMAND "${CXX_COMPILER}" -std=c++17 -Wall -Wextra -Werror "${CONSUMER_SOURCE}" ${flags} -o "${program}")

set(ENV{LD_LIBRARY_PATH} "${PREFIX}/${LIBDIR}")
packaging_run("Running the pkg-config consumer" COMMAND "${program}" OUTPUT output)
message(STATUS "${program}:\n${output}")
