# Builds the Windows installers with msitools' wixl (make package):
#   cmake -DSOURCE_DIR=<project> -P cmake/WindowsMsi.cmake
# gives build/webfind-<version>-x86.msi and build/webfind-<version>-x64.msi
# from packaging/webfind.wxs and the Windows builds. The installer's test
# makes one of its own: -DARCHES=x86_64 -DVERSION=1.2.3 -DOUTPUT=<folder>.
include(${CMAKE_CURRENT_LIST_DIR}/WindowsStage.cmake)
find_program(WIXL wixl)
if(NOT WIXL)
  message(FATAL_ERROR "wixl is missing: apt-get install wixl")
endif()
if(VERSION)
  set(version ${VERSION})
endif()
if(NOT ARCHES)
  set(ARCHES i686 x86_64)
endif()
if(NOT OUTPUT)
  set(OUTPUT ${SOURCE_DIR}/build)
endif()

# arch;MSI name;Platform;ProgramFiles;Win64;UpgradeCode;Finder;Announcer;Menu;Device
set(i686 "i686;x86;x86;ProgramFilesFolder;no;599DFBC2-1169-4628-9827-CECF20ACE34E;B7B24C2B-2FE7-4CDF-9291-A59F121E48E2;313306F7-8028-46E4-BA65-26E876E893ED;894FACD6-0209-4511-9E9E-40835011109A;BF5B4557-E390-4D5F-A208-16127C30784C")
set(x86_64 "x86_64;x64;x64;ProgramFiles64Folder;yes;405FC7DD-0F94-42EE-A958-B2F094AF871C;C5347BAE-5617-4497-A5A2-8DAE7B7EF1A3;E9CFF9A8-45F8-497F-BC6B-64826F043682;E9D57B22-6BED-4AC7-8BE6-9915A3EC0757;EE3BD3A9-2FD5-48C5-BCEF-8234C4292E90")
foreach(build ${ARCHES})
  list(GET ${build} 0 arch)
  list(GET ${build} 1 name)
  list(GET ${build} 2 platform)
  list(GET ${build} 3 programFiles)
  list(GET ${build} 4 win64)
  list(GET ${build} 5 upgrade)
  list(GET ${build} 6 finder)
  list(GET ${build} 7 announcer)
  list(GET ${build} 8 menu)
  list(GET ${build} 9 device)
  set(stage ${OUTPUT}/msi-${arch}-${version})
  file(REMOVE_RECURSE ${stage})
  stage_windows_programs(${arch} ${stage} webfind webfind-announce webfind-setup webfind-responder)
  file(COPY ${SOURCE_DIR}/docs/README-windows.txt DESTINATION ${stage})
  set(msi ${OUTPUT}/webfind-${version}-${name}.msi)
  # wixl takes sources relative to where it runs.
  execute_process(COMMAND ${WIXL} -a ${platform} -o ${msi} -D Version=${version}
                          -D ProgramFiles=${programFiles} -D Win64=${win64} -D UpgradeCode=${upgrade}
                          -D FinderGuid=${finder} -D AnnouncerGuid=${announcer} -D MenuGuid=${menu}
                          -D DeviceGuid=${device} -D Stage=.
                          ${SOURCE_DIR}/packaging/webfind.wxs
                  WORKING_DIRECTORY ${stage} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "wixl could not build ${msi}")
  endif()
  file(REMOVE_RECURSE ${stage})
  message(STATUS "Wrote ${msi}")
endforeach()
