# Installation: the shared libraries (versioned, with sonames), the public and generated
# headers, a CMake package (find_package(HyrnBindings) giving the same target names as the
# build tree: Ormi::core, Ormi::transport, Hyrn::data, Ormi::std_bindings, Hyrn::binding,
# Hyrn::api)
# and a pkg-config file (hyrn-bindings.pc).

include_guard(GLOBAL)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(HYRN_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/HyrnBindings")

# Every library made with hyrn_add_library, each exported under its alias (cmake/Library.cmake):
# one export set whose names carry their own namespace, so that the runtime stand-in's targets
# (Ormi::) and the bindings' (Hyrn::) can depend on each other across namespaces.
get_property(hyrn_install_libraries GLOBAL PROPERTY HYRN_LIBRARIES)

install(TARGETS ${hyrn_install_libraries}
  EXPORT HyrnBindingsTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY
    ${PROJECT_SOURCE_DIR}/runtime/include/
    ${PROJECT_SOURCE_DIR}/transport/include/
    ${PROJECT_SOURCE_DIR}/data/include/
    ${PROJECT_SOURCE_DIR}/binding/include/
    ${PROJECT_SOURCE_DIR}/services/include/
    ${HYRN_IDL_INCLUDE_DIR}/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

install(EXPORT HyrnBindingsTargets
  FILE HyrnBindingsTargets.cmake
  DESTINATION ${HYRN_INSTALL_CMAKEDIR})

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/HyrnBindingsConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/HyrnBindingsConfig.cmake
  INSTALL_DESTINATION ${HYRN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/HyrnBindingsConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
    ${CMAKE_CURRENT_BINARY_DIR}/HyrnBindingsConfig.cmake
    ${CMAKE_CURRENT_BINARY_DIR}/HyrnBindingsConfigVersion.cmake
  DESTINATION ${HYRN_INSTALL_CMAKEDIR})

# The .pc file finds its prefix from its own place, so the installed tree can be moved.
file(RELATIVE_PATH HYRN_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
string(REGEX REPLACE "/$" "" HYRN_PC_TO_PREFIX "${HYRN_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/hyrn-bindings.pc.in
  ${CMAKE_CURRENT_BINARY_DIR}/hyrn-bindings.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/hyrn-bindings.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
