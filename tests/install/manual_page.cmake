# cmake -DGROFF=<groff> -DPAGE=<page> -P manual_page.cmake
# Fails unless groff formats the manual page with every warning enabled and
# says nothing.
execute_process(COMMAND ${GROFF} -man -ww -z -Tutf8 ${PAGE}
                RESULT_VARIABLE status ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "groff -man -ww ${PAGE} exited with ${status}:\n${warnings}")
endif()
