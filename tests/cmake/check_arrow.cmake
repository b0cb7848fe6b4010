# cmake -DBUILD_DIR=... -DPROBE=layer_probe_NAME -DFORBIDDEN=header -P check_arrow.cmake
# Builds PROBE_allowed, which must compile, then PROBE_forbidden, which must fail because
# FORBIDDEN is not on its include path (and for no other reason).
function(build_probe target)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  set(rc ${rc} PARENT_SCOPE)
  set(out "${out}" PARENT_SCOPE)
endfunction()

build_probe(${PROBE}_allowed)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the allowed include does not compile, so this check proves nothing:\n${out}")
endif()

build_probe(${PROBE}_forbidden)
if(rc EQUAL 0)
  message(FATAL_ERROR "\"${FORBIDDEN}\" compiles: the arrow is not enforced")
endif()
string(REPLACE "." "\\." pattern "${FORBIDDEN}")
# GCC: "x.h: No such file or directory"; clang: "'x.h' file not found".
if(NOT out MATCHES "${pattern}: No such file or directory|'${pattern}' file not found")
  message(FATAL_ERROR "the forbidden include failed, but not for want of \"${FORBIDDEN}\":\n${out}")
endif()
message(STATUS "\"${FORBIDDEN}\" is out of reach, as it should be")
