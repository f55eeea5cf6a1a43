// Which WSL, if any, from the kernel's release and the environment.

#include <gtest/gtest.h>

#include "app/system/Wsl.h"

using namespace webfind;

TEST(WslVersion, FromTheKernelReleaseAndTheDistroVariable) {
    EXPECT_EQ(wslFrom("5.15.153.1-microsoft-standard-WSL2\n", false), Wsl::WSL2);
    EXPECT_EQ(wslFrom("4.4.0-19041-Microsoft\n", false), Wsl::WSL1) << "WSL 1 shares Windows' own network";
    EXPECT_EQ(wslFrom("6.1.0-28-amd64\n", false), Wsl::NONE);
    EXPECT_EQ(wslFrom("6.6.0-custom\n", true), Wsl::WSL2) << "a custom WSL 2 kernel, told by WSL_DISTRO_NAME";
    EXPECT_EQ(wslFrom("4.4.0-19041-Microsoft\n", true), Wsl::WSL1);
    EXPECT_EQ(wslFrom("5.4.0-custom-microsoft\n", false), Wsl::WSL1) << "a Microsoft kernel, no more said";
}
