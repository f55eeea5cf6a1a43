# Packs both Windows builds into one zip (make package):
#   cmake -DSOURCE_DIR=<project> -P cmake/WindowsZip.cmake
# gives build/webfind-<version>-windows.zip holding README-windows.txt, and
# webfind.exe, webfind-announce.exe and webfind-responder.exe in 32-bit/ and
# 64-bit/.
include(${CMAKE_CURRENT_LIST_DIR}/WindowsStage.cmake)
set(name webfind-${version}-windows)
set(stage ${SOURCE_DIR}/build/${name})

file(REMOVE_RECURSE ${stage})
foreach(pair "i686;32-bit" "x86_64;64-bit")
  list(GET pair 0 arch)
  list(GET pair 1 folder)
  stage_windows_programs(${arch} ${stage}/${folder} webfind webfind-announce webfind-responder)
endforeach()
file(COPY ${SOURCE_DIR}/docs/README-windows.txt DESTINATION ${stage})

file(REMOVE ${SOURCE_DIR}/build/${name}.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ../${name}.zip --format=zip README-windows.txt 32-bit 64-bit
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "could not write build/${name}.zip")
endif()
file(REMOVE_RECURSE ${stage})
message(STATUS "Wrote build/${name}.zip")
