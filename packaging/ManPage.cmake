# cmake -DPROGRAM=<path> -DNAME=<summary> -DSEE_ALSO=<pages> -DVERSION=<version>
#       -DHELP2MAN=<path> -DOUTPUT=<page.1.gz> -P ManPage.cmake
# Writes the manual page of PROGRAM from its --help. The help must be printed
# on standard output with exit status 0; anything else stops the build, so an
# error message never ends up as a manual page. The environment gives the
# programs the offscreen platform (no display needed) and a UTF-8 locale, in
# which help2man keeps the Spanish letters.
set(ENV{QT_QPA_PLATFORM} offscreen)
set(ENV{LC_ALL} C.UTF-8)
execute_process(COMMAND ${PROGRAM} --help RESULT_VARIABLE status OUTPUT_VARIABLE help ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} --help did not print its help (status ${status}): ${errors}")
endif()
string(REGEX REPLACE "\\.gz$" "" page ${OUTPUT})
get_filename_component(program_name ${PROGRAM} NAME)
file(WRITE ${page}.h2m "[NAME]\n${program_name} \\- ${NAME}\n[SEE ALSO]\n${SEE_ALSO}\n")
execute_process(COMMAND ${HELP2MAN} --no-info --locale=C.UTF-8 --section=1 --version-string=${VERSION}
                        --include=${page}.h2m --output=${page} ${PROGRAM}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${PROGRAM}")
endif()
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${page}")
endif()
