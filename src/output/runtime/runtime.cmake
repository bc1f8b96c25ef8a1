# The parser runtime is kept as a real C source file. It is embedded into the
# generator as the byte array parser_code, so that what every generated
# parser ends with is exactly the file that is compiled and tested here: as
# C99 and as C++, warnings treated as errors.
set(runtime_dir ${CMAKE_CURRENT_LIST_DIR})
set(runtime_embedded ${CMAKE_BINARY_DIR}/generated/parser_code.cpp)
add_custom_command(
  OUTPUT ${runtime_embedded}
  COMMAND ${CMAKE_COMMAND} -DINPUT=${runtime_dir}/parser_runtime.c -DOUTPUT=${runtime_embedded}
          -P ${runtime_dir}/embed.cmake
  DEPENDS ${runtime_dir}/parser_runtime.c ${runtime_dir}/embed.cmake
  COMMENT "Embedding the parser runtime"
  VERBATIM)
target_sources(vellmark_output PRIVATE ${runtime_embedded})

# The check programs below are tests.
if(NOT BUILD_TESTING)
  return()
endif()

# The same check program, once as C99 and once as C++.
set(runtime_check ${CMAKE_SOURCE_DIR}/tests/output/parser_runtime_check.c)
configure_file(${runtime_check} ${CMAKE_BINARY_DIR}/generated/parser_runtime_check.cpp COPYONLY)
add_executable(parser_runtime_check_c99 ${runtime_check})
add_executable(parser_runtime_check_cxx ${CMAKE_BINARY_DIR}/generated/parser_runtime_check.cpp)
set_target_properties(parser_runtime_check_c99 PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
foreach(check parser_runtime_check_c99 parser_runtime_check_cxx)
  target_include_directories(${check} PRIVATE ${runtime_dir})
  target_compile_options(${check} PRIVATE -Werror -pedantic)
  add_test(NAME ${check} COMMAND ${check})
endforeach()
