# Run as a script: install, configure and build the consumer, run it.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGV} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Command failed (${result}): ${ARGV}\n${out}\n${err}")
  endif()
  set(LAST_OUTPUT "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
# The library's target passes on the interface declarations only: the
# stand-ins are targets of their own, which a program names itself.
file(GLOB_RECURSE targets_file ${prefix}/kvoadapterTargets.cmake)
if(NOT targets_file)
  message(FATAL_ERROR "kvoadapterTargets.cmake not installed under ${prefix}")
endif()
file(STRINGS ${targets_file} interface_links REGEX "INTERFACE_LINK_LIBRARIES")
if(NOT interface_links OR interface_links MATCHES "vormhost|qorcommon|kvoadapter::host")
  message(FATAL_ERROR "kvoadapter::kvoadapter passes on more than the interface declarations: ${interface_links}")
endif()
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/consumer -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
run(${WORK_DIR}/consumer/consumer)
if(NOT LAST_OUTPUT MATCHES "valid=2 user-missing=1 system-missing=1")
  message(FATAL_ERROR "Unexpected consumer output:\n${LAST_OUTPUT}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
