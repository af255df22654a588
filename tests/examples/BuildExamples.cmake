# Run as a script: install the build into a scratch prefix, then configure
# and build the examples project against it with find_package, as
# tests/install does with its consumer. The programs stay in
# WORK_DIR/build for the Example_NAME tests.
#   -DBUILD_DIR=<build> -DWORK_DIR=<scratch> -DEXAMPLES_DIR=<examples/>
#   -DGENERATOR=<generator> -DCXX_COMPILER=<compiler>
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Command failed (${result}): ${ARGV}\n${out}\n${err}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${CMAKE_COMMAND} -S ${EXAMPLES_DIR} -B ${WORK_DIR}/build -G ${GENERATOR} -DCMAKE_PREFIX_PATH=${prefix}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
