# Third-party pieces: Debian's packages on the host; for a cross build, the
# header-only ones are taken from the host without the rest of /usr/include,
# and GoogleTest is built for the target from Debian's sources.

if(CMAKE_CROSSCOMPILING)
  set(WEBFIND_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
  file(MAKE_DIRECTORY ${WEBFIND_HOST_HEADERS})
  if(NOT EXISTS ${WEBFIND_HOST_HEADERS}/nlohmann)
    file(CREATE_LINK /usr/include/nlohmann ${WEBFIND_HOST_HEADERS}/nlohmann SYMBOLIC)
  endif()
  add_library(nlohmann_json INTERFACE)
  target_include_directories(nlohmann_json SYSTEM INTERFACE ${WEBFIND_HOST_HEADERS})
  add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)

  if(WEBFIND_TESTS AND NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(STATUS "GoogleTest sources not found: the tests are not built (make test-windows installs them)")
    set(WEBFIND_TESTS OFF)
  endif()
  if(WEBFIND_TESTS)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  endif()
else()
  find_package(nlohmann_json 3 REQUIRED)
  if(WEBFIND_TESTS)
    # Building only the tool (make run) needs no GoogleTest.
    find_package(GTest QUIET)
    if(NOT GTest_FOUND)
      message(STATUS "GoogleTest not found: the tests are not built (make test installs it)")
      set(WEBFIND_TESTS OFF)
    endif()
  endif()
endif()

# The page checks run on threads of their own.
find_package(Threads REQUIRED)
