# Generation of C++ bindings from interface definition files (tools/idlgen).
#
# hyrn_idl_generate(IDL <file> [IMPORTS <idl files...>] OUT_HEADERS <var> OUT_SOURCES <var>)
#
# Generates, at build time, into ${HYRN_IDL_GENERATED_DIR}:
#   include/<package path>/<stem>.h           the package's types, services, type info, metadata
#   include/<package path>/<stem>_types.h     the package's type lists
#   include/<package path>/<stem>_services.h  the package's service list
#   src/<stem>/<stem>.cpp                     canonical names, metadata factories, services
# where <stem> is the file name of IDL without its extension and <package path> the name on
# the file's `package` line with dots as folders ("com.norval.hyrn.hosts" ->
# "com/norval/hyrn/hosts"), so that a generated header is found from its namespace.
# OUT_SOURCES also holds the rule's stamp file, so that adding OUT_SOURCES to a target
# attaches the generation rule to it. The rule depends on the IDL, its imports and every
# generator source and template; the generator rewrites a file only when its content
# changes, and a stamp file records the last run.
# Targets that compile generated code add ${HYRN_IDL_INCLUDE_DIR} to their include path.

include_guard(GLOBAL)

set(HYRN_IDL_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
set(HYRN_IDL_INCLUDE_DIR "${HYRN_IDL_GENERATED_DIR}/include")
get_filename_component(HYRN_IDL_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(HYRN_IDLGEN_DIR "${HYRN_IDL_ROOT}/tools/idlgen")

# The folder of the package that `idl` declares, read from its `package` line.
function(_hyrn_idl_package_dir out idl)
  file(STRINGS "${idl}" package_line REGEX "^package [a-z0-9_.]+" LIMIT_COUNT 1)
  string(REGEX REPLACE "^package ([a-z0-9_.]+).*" "\\1" package "${package_line}")
  if(NOT package)
    message(FATAL_ERROR "hyrn_idl_generate: ${idl} has no `package <name>;` line")
  endif()
  string(REPLACE "." "/" dir "${package}")
  set(${out} "${dir}" PARENT_SCOPE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${idl}")
endfunction()

function(hyrn_idl_generate)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "IDL;OUT_HEADERS;OUT_SOURCES" "IMPORTS")
  if(NOT arg_IDL OR NOT arg_OUT_HEADERS OR NOT arg_OUT_SOURCES)
    message(FATAL_ERROR "hyrn_idl_generate: IDL, OUT_HEADERS and OUT_SOURCES are required")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hyrn_idl_generate: unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  get_filename_component(idl "${arg_IDL}" ABSOLUTE)
  get_filename_component(stem "${idl}" NAME_WE)
  _hyrn_idl_package_dir(include_dir "${idl}")

  set(import_args)
  set(import_files)
  foreach(import IN LISTS arg_IMPORTS)
    get_filename_component(import "${import}" ABSOLUTE)
    list(APPEND import_args --import "${import}")
    list(APPEND import_files "${import}")
  endforeach()

  set(headers
    "${HYRN_IDL_INCLUDE_DIR}/${include_dir}/${stem}.h"
    "${HYRN_IDL_INCLUDE_DIR}/${include_dir}/${stem}_types.h"
    "${HYRN_IDL_INCLUDE_DIR}/${include_dir}/${stem}_services.h")
  set(sources "${HYRN_IDL_GENERATED_DIR}/src/${stem}/${stem}.cpp")
  set(stamp "${HYRN_IDL_GENERATED_DIR}/stamps/${stem}.stamp")
  file(GLOB generator_files CONFIGURE_DEPENDS
    "${HYRN_IDLGEN_DIR}/*.py" "${HYRN_IDLGEN_DIR}/templates/*.tmpl")
  file(RELATIVE_PATH idl_relative "${HYRN_IDL_ROOT}" "${idl}")

  add_custom_command(
    OUTPUT "${stamp}"
    BYPRODUCTS ${headers} ${sources}
    COMMAND ${CMAKE_COMMAND} -E env "PYTHONPATH=${HYRN_IDL_ROOT}/tools"
            ${Python3_EXECUTABLE} -m idlgen "${idl}"
            --root "${HYRN_IDL_ROOT}" --out "${HYRN_IDL_GENERATED_DIR}"
            --stamp "${stamp}" ${import_args}
    DEPENDS "${idl}" ${import_files} ${generator_files}
    COMMENT "Generating C++ bindings from ${idl_relative}"
    VERBATIM)

  # The stamp is the rule's output: listing it among the sources attaches the rule to the
  # target; it has no compilable extension, so it is not compiled.
  set(${arg_OUT_HEADERS} ${headers} PARENT_SCOPE)
  set(${arg_OUT_SOURCES} ${sources} "${stamp}" PARENT_SCOPE)
endfunction()
