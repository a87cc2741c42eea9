# Compiler warnings for the project's own targets.
#
# hyrn_target_warnings(<target>) adds the warning set to one target. It is never applied
# globally, so third-party headers (Boost, GoogleTest, Google Benchmark) found through
# imported targets stay system headers and cannot break the build.

include_guard(GLOBAL)

option(HYRN_WARNINGS_AS_ERRORS "Treat compiler warnings on the project's own code as errors" ON)

set(HYRN_WARNING_FLAGS
    -Wall
    -Wextra
    -Wpedantic
    -Wnon-virtual-dtor
    -Woverloaded-virtual
    -Wcast-align
    -Wimplicit-fallthrough
    -Wmisleading-indentation
    # GCC-only checks that catch copy-paste slips in conditions.
    $<$<CXX_COMPILER_ID:GNU>:-Wduplicated-cond>
    $<$<CXX_COMPILER_ID:GNU>:-Wlogical-op>
    # GoogleTest's TYPED_TEST_SUITE(Suite, Types) leaves a variadic macro argument empty,
    # which clang's -Wpedantic reports; it is valid C++20 and harmless here.
    $<$<CXX_COMPILER_ID:Clang>:-Wno-gnu-zero-variadic-macro-arguments>)

function(hyrn_target_warnings target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    return()
  endif()
  target_compile_options(${target} PRIVATE ${HYRN_WARNING_FLAGS}
                                           $<$<BOOL:${HYRN_WARNINGS_AS_ERRORS}>:-Werror>)
endfunction()
