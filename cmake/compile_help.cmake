# Compiles the editor's help file with chmcmd (Debian: fp-utils).
#
#   cmake -DCHMCMD=chmcmd -DSOURCE_DIR=resources/help -DPROJECT_FILE=TavelinqzMultiband.hhp
#         -DSTAGING_DIR=dir -DOUTPUT=path/TavelinqzMultiband.chm -P compile_help.cmake
#
# chmcmd writes the compiled file beside the project file, so it works on a copy of the
# sources. With --html-scan it warns about every link to a page that does not exist;
# a warning, an error or a crash fails the build, and the finished file reaches OUTPUT
# only after a clean compile: a half-written help file never lands beside the DLL.
cmake_minimum_required(VERSION 3.20)

foreach(variable CHMCMD SOURCE_DIR PROJECT_FILE STAGING_DIR OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "compile_help.cmake needs -D${variable}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${STAGING_DIR})
file(COPY ${SOURCE_DIR}/ DESTINATION ${STAGING_DIR})
execute_process(COMMAND ${CHMCMD} --html-scan ${PROJECT_FILE}
  WORKING_DIRECTORY ${STAGING_DIR}
  RESULT_VARIABLE result
  OUTPUT_VARIABLE log
  ERROR_VARIABLE log)
if(NOT result EQUAL 0 OR log MATCHES "Warning|Error|exception")
  message(FATAL_ERROR "chmcmd could not compile ${SOURCE_DIR}/${PROJECT_FILE} cleanly (exit ${result}):\n${log}")
endif()
string(REGEX REPLACE "\\.hhp$" ".chm" compiled ${PROJECT_FILE})
file(RENAME ${STAGING_DIR}/${compiled} ${OUTPUT})
