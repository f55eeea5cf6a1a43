# Packs both Windows builds into one zip (make package):
#   cmake -DSOURCE_DIR=<project> -P cmake/WindowsZip.cmake
# gives build/webfind-<version>-windows.zip holding README-windows.txt, and
# webfind.exe and webfind-announce.exe in 32-bit/ and 64-bit/.
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "set SOURCE_DIR to the project's folder")
endif()
file(STRINGS ${SOURCE_DIR}/CMakeLists.txt version_line REGEX "^project\\(webfind VERSION")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" version "${version_line}")
set(name webfind-${version}-windows)
set(stage ${SOURCE_DIR}/build/${name})

file(REMOVE_RECURSE ${stage})
foreach(pair "i686;32-bit" "x86_64;64-bit")
  list(GET pair 0 arch)
  list(GET pair 1 folder)
  foreach(program webfind webfind-announce)
    set(exe ${SOURCE_DIR}/build-windows-${arch}/${program}.exe)
    if(NOT EXISTS ${exe})
      message(FATAL_ERROR "${exe} is missing: build it with 'make windows-builds'")
    endif()
    file(COPY ${exe} DESTINATION ${stage}/${folder})
    execute_process(COMMAND ${arch}-w64-mingw32-strip ${stage}/${folder}/${program}.exe RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "could not strip ${folder}/${program}.exe")
    endif()
  endforeach()
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
