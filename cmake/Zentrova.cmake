# Shared helpers for the project's CMake files.

find_package(GTest REQUIRED)
include(GoogleTest)

# zentrova_test(NAME SOURCES a.cpp b.cpp LIBS x y [LABELS l1 l2] [ENV VAR=value ...])
# One GoogleTest binary; its tests are discovered when CTest runs, so a crash at start-up is a
# failed test rather than a failed build. Label "tsan" marks the tests the thread-sanitizer
# build runs.
function(zentrova_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  set(props LABELS "${T_LABELS}")
  list(APPEND T_ENV "AUDIO_COMPONENT_PATH=${CMAKE_BINARY_DIR}")
  list(APPEND T_ENV "ZENTROVA_BUILD_DIR=${CMAKE_BINARY_DIR}")
  list(APPEND T_ENV "ZENTROVA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
  list(APPEND T_ENV "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props} ENVIRONMENT "${T_ENV}" TIMEOUT 300)
endfunction()
