# Builds and runs the one-file consumer with nothing but the compiler and
# pkg-config pointed at the installed prefix, as docs/install.md tells users to;
# with SERVICE_SOURCE, the client consumer too, on kvsoamesservice.

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

# Headers reach the user through -I, not as system headers: they must be
# warning-free under the flags our users commonly build with.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(ENV{LD_LIBRARY_PATH} "${PREFIX}/${LIBDIR}")

# Compiles source with the flags of module, which must name each library, and runs it.
function(consume module source)
  packaging_run("pkg-config --cflags --libs ${module}" COMMAND "${PKG_CONFIG}" --cflags --libs ${module} OUTPUT flags)
  string(STRIP "${flags}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  foreach(library IN LISTS ARGN)
    if(NOT library IN_LIST flags)
      message(FATAL_ERROR "pkg-config --libs ${module} lacks ${library}: ${flags}")
    endif()
  endforeach()
  get_filename_component(name "${source}" NAME_WE)
  set(program "${WORK_DIR}/${name}")
  packaging_run("Compiling ${name}"
    COMMAND "${CXX_COMPILER}" -std=c++17 -Wall -Wextra -Werror "${source}" ${flags} -o "${program}")
  packaging_run("Running ${name}" COMMAND "${program}" OUTPUT output)
  message(STATUS "${program}:\n${output}")
endfunction()

consume(kvsoamestypes "${CONSUMER_SOURCE}" -lkvsoamestypes -lkvsoacommon)
if(SERVICE_SOURCE)
  packaging_run("pkg-config --modversion kvsoamesservice" COMMAND "${PKG_CONFIG}" --modversion kvsoamesservice
    OUTPUT service_version)
  string(STRIP "${service_version}" service_version)
  if(NOT service_version STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config reports kvsoamesservice ${service_version}, the project is ${VERSION}")
  endif()
  consume(kvsoamesservice "${SERVICE_SOURCE}" -lkvsoamesservice -lkvsoamestypes -lkvsoacommon)
endif()
