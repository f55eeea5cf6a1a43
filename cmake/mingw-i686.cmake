# Cross build for the original target: Windows on 32-bit x86, with Debian's
# MinGW-w64 (posix threads flavour). Test executables run under 32-bit Wine.
set(WEBFIND_WINDOWS_ARCH i686)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(WEBFIND_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
