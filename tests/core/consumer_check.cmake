# Installs the core library (component Tessiva) into a temporary prefix, then
# configures, builds and runs the consumer project against it, as a user outside
# this build would. Run by CTest with cmake -P:
#   -DBUILD_DIR=... -DCONSUMER_SOURCE=... -DGENERATOR=... -DCXX_COMPILER=...
#   [-DCXX_FLAGS=...] [-DLINKER_FLAGS=...]
foreach(var BUILD_DIR CONSUMER_SOURCE GENERATOR CXX_COMPILER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()

set(_tmp "$ENV{TMPDIR}")
if(NOT _tmp)
  set(_tmp "/tmp")
endif()
string(RANDOM LENGTH 10 _suffix)
set(_work "${_tmp}/tessiva-consumer-${_suffix}")
file(REMOVE_RECURSE "${_work}")
file(MAKE_DIRECTORY "${_work}")

function(run_step name)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE _result OUTPUT_VARIABLE _output ERROR_VARIABLE _output)
  if(NOT _result EQUAL 0)
    file(REMOVE_RECURSE "${_work}")
    message(FATAL_ERROR "${name} failed (${_result}):\n${_output}")
  endif()
  message(STATUS "${name}: ok")
  set(step_output "${_output}" PARENT_SCOPE)
endfunction()

run_step("install" "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component Tessiva --prefix "${_work}/prefix")
if(EXISTS "${_work}/prefix/bin" OR NOT EXISTS "${_work}/prefix/lib/cmake/Tessiva/TessivaConfig.cmake")
  file(REMOVE_RECURSE "${_work}")
  message(FATAL_ERROR "the component installed something unexpected or lacks the package file")
endif()
run_step("configure" "${CMAKE_COMMAND}" -S "${CONSUMER_SOURCE}" -B "${_work}/build" -G "${GENERATOR}"
         "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}" "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
         "-DCMAKE_EXE_LINKER_FLAGS=${LINKER_FLAGS}" "-DCMAKE_PREFIX_PATH=${_work}/prefix")
run_step("build" "${CMAKE_COMMAND}" --build "${_work}/build")
run_step("run" "${_work}/build/tessiva_consumer" "${_work}/prefix/")
message(STATUS "${step_output}")
file(REMOVE_RECURSE "${_work}")
