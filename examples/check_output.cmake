# cmake -DPROGRAM=<program> -DINPUT=<file> -DEXPECTED=<file> -DSTATUS=<n> -P check_output.cmake
# Runs the program on the input and fails unless it prints exactly the
# expected text and exits with the expected status.
execute_process(COMMAND ${PROGRAM} INPUT_FILE ${INPUT} OUTPUT_VARIABLE output RESULT_VARIABLE status)
file(READ ${EXPECTED} expected)
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "${PROGRAM} < ${INPUT} printed:\n${output}\ninstead of:\n${expected}")
endif()
if(NOT status EQUAL STATUS)
  message(FATAL_ERROR "${PROGRAM} < ${INPUT} exited with ${status} instead of ${STATUS}")
endif()
