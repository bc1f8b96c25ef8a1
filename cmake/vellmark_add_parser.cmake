# vellmark_add_parser(TARGET <target> GRAMMAR <file.y> [SOURCES <source>...]
#                     [HEADER <file.h>] [PREFIX <prefix>] [LINE_DIRECTIVES])
#
# Generates the parser of the grammar at build time, again whenever the
# grammar or the generator changes, and compiles it into <target>: an
# existing target of any kind gains the generated source and the SOURCES;
# otherwise an executable <target> is made of them. The generator writes
# <file>.tab.c, named after the grammar file, and the token header into a
# directory of the target's own, which is on the target's include path.
#
#   HEADER           name of the token header (default grammar.tab.h); a
#                    relative name is placed in that directory. Each of
#                    several parsers in one target needs a header of its own
#   PREFIX           spell the parser's external names with <prefix> in
#                    place of yy, so that several parsers share one program
#   LINE_DIRECTIVES  point compiler messages about actions at the grammar
#
# The generator is the imported executable Vellmark::parser, which the
# installed package and the source tree both define.
function(vellmark_add_parser)
  cmake_parse_arguments(PARSE_ARGV 0 arg "LINE_DIRECTIVES" "TARGET;GRAMMAR;HEADER;PREFIX" "SOURCES")
  if(NOT arg_TARGET OR NOT arg_GRAMMAR)
    message(FATAL_ERROR "vellmark_add_parser needs TARGET and GRAMMAR")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "vellmark_add_parser: unexpected arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()

  set(target ${arg_TARGET})
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}.generated)
  get_filename_component(grammar ${arg_GRAMMAR} ABSOLUTE)
  get_filename_component(name ${arg_GRAMMAR} NAME_WE)
  set(source ${dir}/${name}.tab.c)
  if(arg_HEADER)
    get_filename_component(header ${arg_HEADER} ABSOLUTE BASE_DIR ${dir})
    set(options --header=${header})
  else()
    set(header ${dir}/grammar.tab.h)
    set(options -d)
  endif()
  if(NOT "${arg_PREFIX}" STREQUAL "")
    list(APPEND options --name-prefix=${arg_PREFIX})
  endif()
  if(arg_LINE_DIRECTIVES)
    list(APPEND options --line-directives)
  endif()

  file(MAKE_DIRECTORY ${dir})
  add_custom_command(
    OUTPUT ${source} ${header}
    COMMAND Vellmark::parser ${options} -o ${name}.tab.c ${grammar}
    WORKING_DIRECTORY ${dir}
    DEPENDS ${grammar} Vellmark::parser
    COMMENT "Generating the parser of ${target} from ${arg_GRAMMAR}"
    VERBATIM)
  if(NOT TARGET ${target})
    add_executable(${target})
  endif()
  target_sources(${target} PRIVATE ${source} ${header} ${arg_SOURCES})
  get_filename_component(header_dir ${header} DIRECTORY)
  target_include_directories(${target} PRIVATE ${dir} ${header_dir})
endfunction()
