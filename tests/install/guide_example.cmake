# cmake -DPARSER=<generator> -DC_COMPILER=<compiler> -DGUIDE=<docs/grammar.md> -DWORK=<scratch directory>
#       -P guide_example.cmake
#
# Takes the files of the guide's worked example out of the guide (each is the
# code block after a line "<!-- file: NAME -->"), builds the program with the
# commands the guide gives, and checks that it prints what the guide says.

cmake_minimum_required(VERSION 3.20)

# run(<command>...): runs the command in the scratch directory and fails with its output unless it succeeds.
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} exited with ${status}:\n${output}")
  endif()
endfunction()

# take_block(<text variable> <body variable>): the body of the next fenced
# code block, from the line after its opening fence to its closing fence;
# the text is left after the block.
function(take_block text_var body_var)
  set(text "${${text_var}}")
  string(FIND "${text}" "```" open)
  string(SUBSTRING "${text}" ${open} -1 text)
  string(FIND "${text}" "\n" line_end)
  math(EXPR line_end "${line_end} + 1")
  string(SUBSTRING "${text}" ${line_end} -1 text)
  string(FIND "${text}" "```" close)
  string(SUBSTRING "${text}" 0 ${close} body)
  string(SUBSTRING "${text}" ${close} -1 text)
  set(${text_var} "${text}" PARENT_SCOPE)
  set(${body_var} "${body}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(READ ${GUIDE} text)
set(marker "<!-- file: ")
string(LENGTH "${marker}" marker_length)
set(names "")
while(TRUE)
  string(FIND "${text}" "${marker}" at)
  if(at EQUAL -1)
    break()
  endif()
  math(EXPR at "${at} + ${marker_length}")
  string(SUBSTRING "${text}" ${at} -1 text)
  string(FIND "${text}" " -->" name_end)
  string(SUBSTRING "${text}" 0 ${name_end} name)
  take_block(text body)
  file(WRITE ${WORK}/${name} "${body}")
  list(APPEND names ${name})
endwhile()
if(NOT names STREQUAL "assign.y;scanner.c;sample.in;sample.out")
  message(FATAL_ERROR "the guide's worked example has the files '${names}'")
endif()

run(${PARSER} -d -o assign.tab.c assign.y)
run(${C_COMPILER} -o assign assign.tab.c scanner.c)

# expect_run(<input file> <status> <expected output>)
function(expect_run input expected_status expected)
  execute_process(COMMAND ${WORK}/assign INPUT_FILE ${WORK}/${input}
                  RESULT_VARIABLE status OUTPUT_VARIABLE output)
  if(NOT status EQUAL expected_status OR NOT output STREQUAL expected)
    message(FATAL_ERROR "assign < ${input} exited with ${status} and printed:\n${output}\n"
                        "instead of exiting with ${expected_status} and printing:\n${expected}")
  endif()
endfunction()

file(READ ${WORK}/sample.out sample_output)
expect_run(sample.in 0 "${sample_output}")
file(WRITE ${WORK}/error.in "x = 1 + ;\n")
expect_run(error.in 1 "No Rule ';'\n")
