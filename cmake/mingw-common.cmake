# What both Windows toolchain files share; they set WEBFIND_WINDOWS_ARCH,
# CMAKE_SYSTEM_PROCESSOR and the Wine loader of their word size.
set(CMAKE_SYSTEM_NAME Windows)
set(triple ${WEBFIND_WINDOWS_ARCH}-w64-mingw32)

set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: nothing needed beyond Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# The loader itself, not the wine wrapper script: the wrapper picks the 32-bit
# loader whenever it is installed, whatever the program's word size.
set(CMAKE_CROSSCOMPILING_EMULATOR ${WEBFIND_WINE_LOADER})
