# The project's shared libraries.
#
# hyrn_add_library(<target> ALIAS <Namespace::name> INCLUDE_DIR <dir> SOURCES <files...>)
#
# Builds a versioned shared library (soname from the project's major version) with the
# project's warnings, its public include directory (installed under the include prefix) and
# an alias that is also the name it is exported under (cmake/Install.cmake installs every
# library made here, in the order they are made).

include_guard(GLOBAL)
include(GNUInstallDirs)
include(Warnings)

function(hyrn_add_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "ALIAS;INCLUDE_DIR" "SOURCES")
  if(NOT arg_ALIAS OR NOT arg_INCLUDE_DIR OR NOT arg_SOURCES OR arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hyrn_add_library(${target}): ALIAS, INCLUDE_DIR and SOURCES are "
                        "required; unknown: ${arg_UNPARSED_ARGUMENTS}")
  endif()
  add_library(${target} SHARED ${arg_SOURCES})
  add_library(${arg_ALIAS} ALIAS ${target})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${arg_INCLUDE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR} EXPORT_NAME ${arg_ALIAS})
  hyrn_target_warnings(${target})
  set_property(GLOBAL APPEND PROPERTY HYRN_LIBRARIES ${target})
endfunction()
