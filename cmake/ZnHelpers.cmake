# Helpers shared by every area of the build.

set(ZN_VERSION_BLOCK_SRC "${CMAKE_BINARY_DIR}/generated/zn_version_block.c")
configure_file("${CMAKE_SOURCE_DIR}/cmake/zn_version_block.c.in" "${ZN_VERSION_BLOCK_SRC}" @ONLY)

# zn_target_defaults(target): warnings and the embedded product version.
function(zn_target_defaults target)
  target_compile_options(${target} PRIVATE ${ZN_WARNINGS})
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE" OR _type STREQUAL "SHARED_LIBRARY" OR _type STREQUAL "MODULE_LIBRARY")
    target_sources(${target} PRIVATE "${ZN_VERSION_BLOCK_SRC}")
  endif()
endfunction()

# zn_add_test(NAME name SOURCES ... LIBS ... LABELS unit|gui|net [QTTEST|GTEST] [TIMEOUT s])
# Test programs live in build/tests; they run with the application folder as the
# working directory's neighbour and offscreen Qt. Set the time limit through
# TIMEOUT (default 300 s), not afterwards: the watchdog is given it here.
function(zn_add_test)
  cmake_parse_arguments(T "QTTEST;GTEST" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  target_compile_options(${T_NAME} PRIVATE ${ZN_WARNINGS})
  target_compile_definitions(${T_NAME} PRIVATE
    ZN_APP_DIR="${ZN_APP_DIR}"
    ZN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    ZN_TEST_SUPPORT_DIR="${CMAKE_SOURCE_DIR}/tests/support")
  if(T_GTEST)
    find_package(GTest REQUIRED)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main)
  endif()
  if(T_QTTEST)
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test)
  endif()
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # Every test program runs under the hang watchdog (tests/support): shortly
  # before the time limit it prints the stacks of the test's threads with gdb,
  # then kills it. Exit code, output and environment pass through unchanged.
  add_test(NAME ${T_NAME} COMMAND $<TARGET_FILE:ZnTestWatchdog> ${T_TIMEOUT} $<TARGET_FILE:${T_NAME}>)
  add_dependencies(${T_NAME} ZnTestWatchdog)
  set_tests_properties(${T_NAME} PROPERTIES
    LABELS "${T_LABELS}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=0;UBSAN_OPTIONS=print_stacktrace=1")
endfunction()

# zn_add_fuzzer(NAME name SOURCES ... LIBS ... CORPUS dir): a libFuzzer target,
# built only with ZN_FUZZ into build/fuzz and part of the target ZnFuzzers.
# CORPUS is the committed seed corpus (relative to the calling folder);
# scripts/test-fuzz runs each target listed in fuzz/fuzzers.txt from a copy of it.
if(ZN_FUZZ)
  add_custom_target(ZnFuzzers)
  file(WRITE "${CMAKE_BINARY_DIR}/fuzz/fuzzers.txt" "")
endif()
function(zn_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(NOT ZN_FUZZ)
    return()
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/fuzz"
                        AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
  target_compile_options(${F_NAME} PRIVATE ${ZN_WARNINGS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  add_dependencies(ZnFuzzers ${F_NAME})
  get_filename_component(_corpus "${F_CORPUS}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
  file(APPEND "${CMAKE_BINARY_DIR}/fuzz/fuzzers.txt" "${F_NAME} ${_corpus}\n")
endfunction()
