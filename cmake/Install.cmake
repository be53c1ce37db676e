# Installation: the shared libraries (runtime, types, and the service library
# when built), their public headers, the wixml tool, the XML Schema, a CMake
# package (find_package(kvsoamestypes)), pkg-config files (kvsoamestypes,
# kvsoacommon, kvsoamesservice) and the API reference if built.

include(CMakePackageConfigHelpers)

set(KVSOAMESTYPES_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/kvsoamestypes")
set(KVSOAMESTYPES_SCHEMA_DIR "${CMAKE_INSTALL_DATADIR}/kvsoamestypes/schema")
set(kvsoamestypes_package_dir "${PROJECT_BINARY_DIR}/package")

option(KVSOAMESTYPES_INSTALL_RPATH
       "Let installed binaries find the libraries relative to themselves, wherever the prefix is" ON)

# The types library looks for the runtime in its own directory and the tool in
# the library directory, so that a prefix outside the loader's path works.
function(kvsoamestypes_relative_rpath target from_dir)
  if(NOT KVSOAMESTYPES_INSTALL_RPATH OR APPLE OR WIN32 OR IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}"
     OR IS_ABSOLUTE "${from_dir}")
    return()
  endif()
  get_target_property(current ${target} INSTALL_RPATH)
  if(current)
    return()
  endif()
  file(RELATIVE_PATH to_libdir "/${from_dir}" "/${CMAKE_INSTALL_LIBDIR}")
  if(to_libdir)
    set_property(TARGET ${target} PROPERTY INSTALL_RPATH "$ORIGIN/${to_libdir}")
  else()
    set_property(TARGET ${target} PROPERTY INSTALL_RPATH "$ORIGIN")
  endif()
endfunction()

kvsoamestypes_relative_rpath(kvsoamestypes "${CMAKE_INSTALL_LIBDIR}")
set(kvsoamestypes_libraries kvsoacommon kvsoamestypes)
if(TARGET kvsoamesservice)
  kvsoamestypes_relative_rpath(kvsoamesservice "${CMAKE_INSTALL_LIBDIR}")
  list(APPEND kvsoamestypes_libraries kvsoamesservice)
endif()

install(TARGETS ${kvsoamestypes_libraries}
  EXPORT kvsoamestypesTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)

# The service library's headers go only with the library.
set(kvsoamestypes_service_headers)
if(NOT TARGET kvsoamesservice)
  set(kvsoamestypes_service_headers PATTERN "Client.hpp" EXCLUDE PATTERN "Server.hpp" EXCLUDE PATTERN "Service.hpp" EXCLUDE
      PATTERN "ServiceExport.hpp" EXCLUDE)
endif()
install(DIRECTORY "${PROJECT_SOURCE_DIR}/include/workinstructions" "${PROJECT_SOURCE_DIR}/runtime/include/kvsoa"
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development
  FILES_MATCHING PATTERN "*.hpp" ${kvsoamestypes_service_headers})

# The WSDL imports WorkInstructions.xsd by a relative location: they stay together.
install(DIRECTORY "${PROJECT_SOURCE_DIR}/schema/"
  DESTINATION ${KVSOAMESTYPES_SCHEMA_DIR} COMPONENT Runtime
  FILES_MATCHING PATTERN "*.xsd" PATTERN "*.wsdl")

# The API reference, when the docs target has built it before installing. Named
# here, not by CMAKE_INSTALL_DOCDIR, which a parent project may have fixed to its own name.
set(KVSOAMESTYPES_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/kvsoamestypes")
install(DIRECTORY "${PROJECT_BINARY_DIR}/docs/html"
  DESTINATION ${KVSOAMESTYPES_DOC_DIR} COMPONENT Documentation
  OPTIONAL)

# ---- CMake package ----------------------------------------------------------

# Only a static runtime would hand its private parser dependency on to users.
get_target_property(kvsoamestypes_runtime_type kvsoacommon TYPE)
if(kvsoamestypes_runtime_type STREQUAL "STATIC_LIBRARY")
  set(KVSOAMESTYPES_NEEDS_PARSER ON)
else()
  set(KVSOAMESTYPES_NEEDS_PARSER OFF)
endif()

configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/kvsoamestypesConfig.cmake.in"
  "${kvsoamestypes_package_dir}/kvsoamestypesConfig.cmake"
  INSTALL_DESTINATION ${KVSOAMESTYPES_CMAKE_DIR}
  PATH_VARS KVSOAMESTYPES_SCHEMA_DIR)
write_basic_package_version_file("${kvsoamestypes_package_dir}/kvsoamestypesConfigVersion.cmake"
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)

install(EXPORT kvsoamestypesTargets
  NAMESPACE kvsoamestypes::
  DESTINATION ${KVSOAMESTYPES_CMAKE_DIR}
  COMPONENT Development)
install(FILES "${kvsoamestypes_package_dir}/kvsoamestypesConfig.cmake"
              "${kvsoamestypes_package_dir}/kvsoamestypesConfigVersion.cmake"
  DESTINATION ${KVSOAMESTYPES_CMAKE_DIR}
  COMPONENT Development)

# ---- pkg-config ---------------------------------------------------------------

# The prefix is only known at install time (cmake --install --prefix), so the
# file is configured twice: now for everything else, then when installing.
function(kvsoamestypes_install_pkgconfig name)
  set(PKGCONFIG_PREFIX "@PKGCONFIG_PREFIX@")
  foreach(kind LIBDIR INCLUDEDIR DATADIR)
    if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
      set(PKGCONFIG_${kind} "${CMAKE_INSTALL_${kind}}")
    else()
      set(PKGCONFIG_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
    endif()
  endforeach()
  set(staged "${kvsoamestypes_package_dir}/${name}.pc.in")
  set(final "${kvsoamestypes_package_dir}/install/${name}.pc")
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/${name}.pc.in" "${staged}" @ONLY)
  install(CODE "set(PKGCONFIG_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
configure_file(\"${staged}\" \"${final}\" @ONLY)"
    COMPONENT Development)
  install(FILES "${final}" DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endfunction()

kvsoamestypes_install_pkgconfig(kvsoacommon)
kvsoamestypes_install_pkgconfig(kvsoamestypes)
if(TARGET kvsoamesservice)
  kvsoamestypes_install_pkgconfig(kvsoamesservice)
endif()

# ---- the wixml tool -------------------------------------------------------------

# The tool's directory is added after this file is read; decide once the whole
# project is known.
function(kvsoamestypes_install_tool)
  if(NOT TARGET wixml)
    return()
  endif()
  kvsoamestypes_relative_rpath(wixml "${CMAKE_INSTALL_BINDIR}")
  install(TARGETS wixml
    EXPORT kvsoamestypesTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
endfunction()
cmake_language(DEFER CALL kvsoamestypes_install_tool)
