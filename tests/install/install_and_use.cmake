# cmake -DBUILD_DIR=<build tree> -DCONSUMER=<project> -DWORK=<scratch directory>
#       -DGENERATOR=<cmake generator> -DC_COMPILER=<compiler> -P install_and_use.cmake
#
# Installs the build tree into a fresh prefix and checks what is there; then
# copies the consumer project out of the source tree, configures it against
# that prefix alone, builds and runs it, changes its grammar and builds again.

# run(<command>...): runs the command and fails with its output unless it succeeds.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} exited with ${status}:\n${output}")
  endif()
endfunction()

# expect_run(<input> <status> <expected output> [<argument>]): the consumer
# reads the input and prints exactly the expected text on standard output.
function(expect_run input expected_status expected)
  file(WRITE ${WORK}/input.txt "${input}")
  execute_process(COMMAND ${WORK}/build/consumer ${ARGN} INPUT_FILE ${WORK}/input.txt
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL expected_status OR NOT output STREQUAL expected)
    message(FATAL_ERROR "consumer ${ARGN} on '${input}' exited with ${status} and printed:\n${output}${errors}\n"
                        "instead of exiting with ${expected_status} and printing:\n${expected}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The generator, its manual page and the package files.
file(GLOB package_dir ${prefix}/lib*/cmake/Vellmark)
foreach(file bin/parser share/man/man1/parser.1)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "${file} was not installed")
  endif()
endforeach()
foreach(file VellmarkConfig.cmake VellmarkConfigVersion.cmake VellmarkTargets.cmake vellmark_add_parser.cmake)
  if(NOT EXISTS "${package_dir}/${file}")
    message(FATAL_ERROR "lib/cmake/Vellmark/${file} was not installed")
  endif()
endforeach()

# The package's version is the one the generator prints.
set(PACKAGE_FIND_VERSION 0)
include(${package_dir}/VellmarkConfigVersion.cmake)
execute_process(COMMAND ${prefix}/bin/parser --version OUTPUT_VARIABLE license)
if(NOT license MATCHES "\nVellmark version ${PACKAGE_VERSION}\n")
  message(FATAL_ERROR "the package is version ${PACKAGE_VERSION}, the generator says:\n${license}")
endif()

# A project outside the source tree that sees nothing but the prefix.
file(COPY ${CONSUMER}/ DESTINATION ${WORK}/consumer)
run(${CMAKE_COMMAND} -S ${WORK}/consumer -B ${WORK}/build -G ${GENERATOR} -DCMAKE_C_COMPILER=${C_COMPILER}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
file(STRINGS ${WORK}/build/CMakeCache.txt found REGEX "^Vellmark_DIR:")
if(NOT found STREQUAL "Vellmark_DIR:PATH=${package_dir}")
  message(FATAL_ERROR "the package was found as ${found}, not in ${package_dir}")
endif()
run(${CMAKE_COMMAND} --build ${WORK}/build)
expect_run("1 + 2 + 39" 0 "42\n")
expect_run("1 + + 2" 1 "No Rule '+'\n")
expect_run("one two three" 0 "3 words\n" words)
expect_run("one 2" 1 "No Rule '2'\n" words)

# Only the parser that asked for them marks its actions with their lines in the grammar.
file(READ ${WORK}/build/consumer.generated/words.tab.c words_source)
file(READ ${WORK}/build/consumer.generated/sum.tab.c sum_source)
string(FIND "${words_source}" "\n#line 17 \"${WORK}/consumer/words.y\"\n" words_line)
string(FIND "${sum_source}" "#line" sum_line)
if(words_line EQUAL -1 OR NOT sum_line EQUAL -1)
  message(FATAL_ERROR "the line directives are missing from words.tab.c or present in sum.tab.c")
endif()

# Editing the grammar regenerates the parser on the next build.
file(READ ${WORK}/consumer/sum.y grammar)
string(REPLACE "$$ = $1 + $3;" "$$ = $1 - $3;" grammar "${grammar}")
file(WRITE ${WORK}/consumer/sum.y "${grammar}")
run(${CMAKE_COMMAND} --build ${WORK}/build)
expect_run("1 + 2 + 39" 0 "-40\n")
