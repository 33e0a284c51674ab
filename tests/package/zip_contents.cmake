# Makes the VirtualDub ZIP from the Windows build and checks that it holds
# exactly what a user copies into VirtualDub's folder.
#   cmake -DCPACK=... -DBUILD_DIR=... -DSCRATCH=... -P zip_contents.cmake
file(REMOVE_RECURSE ${SCRATCH})
execute_process(COMMAND ${CPACK} -G ZIP --config ${BUILD_DIR}/CPackConfig.cmake -B ${SCRATCH}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${output}")
endif()
file(GLOB zip ${SCRATCH}/*.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${zip} OUTPUT_VARIABLE listing
                RESULT_VARIABLE result)
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" entries "${listing}")
list(FILTER entries EXCLUDE REGEX "/$") # folders
list(SORT entries)
set(expected README.txt plugins/Pendra04.vdf plugins/pendra/Pendra.html plugins/pendra/Pendra.ini)
if(NOT result EQUAL 0 OR NOT entries STREQUAL expected)
  message(FATAL_ERROR "${zip} holds\n  ${entries}\nnot\n  ${expected}")
endif()
