# Cross build for 64-bit Windows (x86-64), with Debian's MinGW-w64 (posix
# threads flavour): current Windows without WOW64. Test executables run under
# 64-bit Wine, which needs nothing from the kernel's 32-bit support.
set(WEBFIND_WINDOWS_ARCH x86_64)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(WEBFIND_WINE_LOADER /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
