#pragma once

// A path of a test's own in the temporary folder: the unit tests run side
// by side, each test in a process of its own, and the whole suite once more
// under valgrind at the same time.

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <string>

inline std::string tempPathOfThisTest(const std::string& stem) {
#ifdef _WIN32
    const long pid = _getpid();
#else
    const long pid = ::getpid();
#endif
    return testing::TempDir() + stem + "-" + std::to_string(pid) + "-" +
           testing::UnitTest::GetInstance()->current_test_info()->name();
}
