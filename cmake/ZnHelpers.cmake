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

# zn_add_test registers every CTest test of the tree, under ONE naming rule: a
# test is named after its main file without the extension, so a failing name
# leads straight to its file (tests/clean/tst_ScaniTunesData.cpp is the test
# and program tst_ScaniTunesData, tests/skin/check_skin_files.py the test
# check_skin_files).
#
# A test program (built into build/tests, target named like the test):
#   zn_add_test(SOURCES main.cpp [more sources] LIBS ... LABELS unit|gui|net
#               [QTTEST|GTEST] [TIMEOUT s] [VARIANT v] [INCLUDES dirs]
#               [DEFINES defs] [DEPENDS targets] [LOCKS locks] [LEAKCHECK])
# The main file is the first of SOURCES. A program built a second time from the
# same main file (other definitions) names its VARIANT: its name is the file's
# name, two underscores and the variant (tst_app_about__without_version).
# INCLUDES and DEFINES are private include folders and definitions; DEPENDS
# are targets that must be built before the test runs (helper programs, the
# engine, the skin; naming a target this build does not define fails the
# configuration); LOCKS are CTest resource locks (iTunes-process,
# Pellact-process: tests that end processes by those names); LEAKCHECK lets
# the sanitizer build check the program for leaks. The programs run with offscreen Qt. Set the time limit
# through TIMEOUT (default 300 s), not afterwards: the watchdog is given it here.
#
# A script (run from the source tree, not under the watchdog):
#   zn_add_test(SCRIPT file COMMAND command... LABELS ... [TIMEOUT s] [ENVIRONMENT vars]
#               [DEPENDS targets])
# DEPENDS are the targets the script needs built (it has no program of its own).
#
# NAME may be given, but only as the name the rule derives.
#
# A test program labelled tsan is part of the target ZnTsanTests: the
# thread-sanitizer stage (scripts/test-tsan, the presets "tsan") builds that
# target and runs the tests of that label. Likewise every test labelled unit or
# net (a program, or what a script DEPENDS on) is part of ZnAsanTests, which
# the sanitizer stage (the presets "asan") builds instead of everything: it
# runs no widget test.
add_custom_target(ZnTsanTests)
add_custom_target(ZnAsanTests)
# zn_join_label_targets(labels targets...): the targets become part of the
# sanitizer stages' targets that the labels name (above).
function(zn_join_label_targets labels)
  if("tsan" IN_LIST labels)
    add_dependencies(ZnTsanTests ${ARGN})
  endif()
  if("unit" IN_LIST labels OR "net" IN_LIST labels)
    add_dependencies(ZnAsanTests ${ARGN})
  endif()
endfunction()

function(zn_add_test)
  cmake_parse_arguments(T "QTTEST;GTEST;LEAKCHECK" "NAME;TIMEOUT;VARIANT;SCRIPT"
                        "SOURCES;LIBS;LABELS;INCLUDES;DEFINES;DEPENDS;LOCKS;COMMAND;ENVIRONMENT" ${ARGN})
  if(T_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zn_add_test: unknown arguments ${T_UNPARSED_ARGUMENTS}")
  endif()
  if(T_SCRIPT)
    set(_main "${T_SCRIPT}")
  else()
    list(GET T_SOURCES 0 _main)
  endif()
  get_filename_component(_name "${_main}" NAME_WLE)
  if(T_VARIANT)
    set(_name "${_name}__${T_VARIANT}")
  endif()
  if(T_NAME AND NOT T_NAME STREQUAL _name)
    message(FATAL_ERROR "zn_add_test: a test is named after its file: ${_name}, not ${T_NAME}")
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()

  if(T_SCRIPT)
    get_filename_component(_script "${T_SCRIPT}" ABSOLUTE BASE_DIR "${CMAKE_CURRENT_SOURCE_DIR}")
    if(NOT EXISTS "${_script}")
      message(FATAL_ERROR "zn_add_test: no script ${_script}")
    endif()
    add_test(NAME ${_name} COMMAND ${T_COMMAND})
    set_tests_properties(${_name} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT})
    if(T_DEPENDS)
      zn_join_label_targets("${T_LABELS}" ${T_DEPENDS})
    endif()
    if(T_ENVIRONMENT)
      set_tests_properties(${_name} PROPERTIES ENVIRONMENT "${T_ENVIRONMENT}")
    endif()
    return()
  endif()

  add_executable(${_name} ${T_SOURCES})
  set_target_properties(${_name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  target_compile_options(${_name} PRIVATE ${ZN_WARNINGS})
  target_compile_definitions(${_name} PRIVATE
    ZN_APP_DIR="${ZN_APP_DIR}"
    ZN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    ZN_TEST_SUPPORT_DIR="${CMAKE_SOURCE_DIR}/tests/support"
    ${T_DEFINES})
  if(T_INCLUDES)
    target_include_directories(${_name} PRIVATE ${T_INCLUDES})
  endif()
  if(T_GTEST)
    find_package(GTest REQUIRED)
    target_link_libraries(${_name} PRIVATE GTest::gtest GTest::gtest_main)
  endif()
  if(T_QTTEST)
    target_link_libraries(${_name} PRIVATE Qt5::Test)
  endif()
  target_link_libraries(${_name} PRIVATE ${T_LIBS})
  if(T_DEPENDS)
    add_dependencies(${_name} ${T_DEPENDS})
  endif()
  # Every test program runs under the hang watchdog (tests/support): shortly
  # before the time limit it prints the stacks of the test's threads with gdb,
  # then kills it. Exit code, output and environment pass through unchanged.
  add_test(NAME ${_name} COMMAND $<TARGET_FILE:ZnTestWatchdog> ${T_TIMEOUT} $<TARGET_FILE:${_name}>)
  add_dependencies(${_name} ZnTestWatchdog)
  zn_join_label_targets("${T_LABELS}" ${_name})
  set(_leaks 0)
  if(T_LEAKCHECK)
    set(_leaks 1)
  endif()
  set_tests_properties(${_name} PROPERTIES
    LABELS "${T_LABELS}"
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ASAN_OPTIONS=detect_leaks=${_leaks};UBSAN_OPTIONS=print_stacktrace=1")
  if(T_LOCKS)
    set_tests_properties(${_name} PROPERTIES RESOURCE_LOCK "${T_LOCKS}")
  endif()
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
