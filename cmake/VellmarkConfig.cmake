# The installed generator: the imported executable Vellmark::parser and the
# function vellmark_add_parser that runs it at build time.
include(${CMAKE_CURRENT_LIST_DIR}/VellmarkTargets.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/vellmark_add_parser.cmake)
