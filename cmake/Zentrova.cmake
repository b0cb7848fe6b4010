# Shared helpers for the project's CMake files.

find_package(GTest REQUIRED)
include(GoogleTest)

# zentrova_test(NAME SOURCES a.cpp b.cpp LIBS x y [LABELS l1 l2] [ENV VAR=value ...])
# One GoogleTest binary; its tests are discovered when CTest runs, so a crash at start-up is a
# failed test rather than a failed build. Label "tsan" marks the tests the thread-sanitizer
# build runs.
function(zentrova_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/tests/support/test_environment.cpp)
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  # The environment every test sees (AUDIO_COMPONENT_PATH, ZENTROVA_BUILD_DIR, ZENTROVA_SOURCE_DIR)
  # is set inside the binary itself; see tests/support/test_environment.cpp.
  target_compile_definitions(${name} PRIVATE
    ZENTROVA_TEST_BUILD_DIR="${CMAKE_BINARY_DIR}" ZENTROVA_TEST_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set(props TIMEOUT 300)
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()

# zentrova_publish_folder(TARGET FOLDER)
# Makes the source folder FOLDER (a path under the repository root: "framework", "view/controls")
# includable by TARGET, and by whatever links it, under its full name ("framework/AUBase.h"), and
# nothing beside it. The include root is a folder of the build tree holding a single link, to
# FOLDER. The repository root itself is never an include folder, so a library reaches exactly the
# folders of the libraries it links, and the link lines are the layering: dsp and platform stand
# alone, framework sits on platform, effect on framework and dsp, view, tools and lv2 on platform
# only. A file in view/ that includes "framework/AUBase.h" does not compile (tests/cmake).
function(zentrova_publish_folder target folder)
  if(NOT IS_DIRECTORY ${CMAKE_SOURCE_DIR}/${folder})
    message(FATAL_ERROR "zentrova_publish_folder(${target}): no folder ${folder}")
  endif()
  string(REPLACE "/" "_" root_name "${folder}")
  set(root ${CMAKE_BINARY_DIR}/include-roots/${root_name})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
