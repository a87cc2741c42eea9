# Unit test executables.
#
# hyrn_add_test(NAME <name> SOURCES <files...> [LIBRARIES <targets...>] [LABELS <labels...>]
#               [TIMEOUT <seconds>])
#
# Builds a GoogleTest executable linked with GTest::gtest_main (plus GTest::gmock, so tests may
# use matchers), applies the project's warnings and registers every test case with CTest.
# Each test gets the name of its folder under tests/ as a label ("runtime", "data", ...) plus
# any LABELS given, so `ctest -L <label>` selects a group. Tests are discovered when CTest
# runs (PRE_TEST), not at build time, so sanitizer builds never execute code while building.
# Each test case may run for TIMEOUT seconds, HYRN_TEST_TIMEOUT by default.

include_guard(GLOBAL)
include(GoogleTest)
include(Warnings)

set(HYRN_TEST_TIMEOUT 300 CACHE STRING "Per-test timeout in seconds")

function(hyrn_add_test)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "NAME;TIMEOUT" "SOURCES;LIBRARIES;LABELS")
  if(NOT arg_NAME OR NOT arg_SOURCES)
    message(FATAL_ERROR "hyrn_add_test: NAME and SOURCES are required")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "hyrn_add_test(${arg_NAME}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()

  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT ${HYRN_TEST_TIMEOUT})
  endif()

  add_executable(${arg_NAME} ${arg_SOURCES})
  target_link_libraries(${arg_NAME} PRIVATE ${arg_LIBRARIES} GTest::gmock GTest::gtest_main)
  hyrn_target_warnings(${arg_NAME})

  # Label by folder: tests/runtime/json -> runtime; outside tests/, the top folder (fuzz/...).
  file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
  string(REGEX REPLACE "^tests/" "" rel "${rel}")
  string(REGEX REPLACE "/.*" "" folder "${rel}")
  set(labels ${arg_LABELS})
  if(folder AND NOT folder STREQUAL "tests")
    list(PREPEND labels ${folder})
  endif()

  # gtest_discover_tests flattens list-valued PROPERTIES, so the labels are set by a small
  # CTest include file that runs after discovery, over the discovered test list.
  set(test_list "${arg_NAME}_TESTS")
  gtest_discover_tests(${arg_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    TEST_LIST ${test_list}
    PROPERTIES TIMEOUT ${arg_TIMEOUT})
  if(labels)
    set(labels_file "${CMAKE_CURRENT_BINARY_DIR}/${arg_NAME}_labels.cmake")
    file(WRITE "${labels_file}"
      "if(${test_list})\n"
      "  set_tests_properties(\${${test_list}} PROPERTIES LABELS \"${labels}\")\n"
      "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${labels_file}")
  endif()
endfunction()
