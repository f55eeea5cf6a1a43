# What the Windows zip (WindowsZip.cmake) and installers (WindowsMsi.cmake)
# share: the project's version, and the stripped programs of one build.
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "set SOURCE_DIR to the project's folder")
endif()
file(STRINGS ${SOURCE_DIR}/CMakeLists.txt version_line REGEX "^project\\(webfind VERSION")
string(REGEX MATCH "[0-9]+\\.[0-9]+\\.[0-9]+" version "${version_line}")

# stage_windows_programs(ARCH FOLDER PROGRAM...): each PROGRAM.exe of the
# build-windows-ARCH build, stripped, into FOLDER.
function(stage_windows_programs arch folder)
  foreach(program ${ARGN})
    set(exe ${SOURCE_DIR}/build-windows-${arch}/${program}.exe)
    if(NOT EXISTS ${exe})
      message(FATAL_ERROR "${exe} is missing: build it with 'make windows-builds'")
    endif()
    file(COPY ${exe} DESTINATION ${folder})
    execute_process(COMMAND ${arch}-w64-mingw32-strip ${folder}/${program}.exe RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "could not strip ${folder}/${program}.exe")
    endif()
  endforeach()
endfunction()
