// Err: the assertion line it writes as it is made.

#include <gtest/gtest.h>

#include "Network/Err.h"

TEST(ErrRecord, TheConstructorItselfWritesAndFlushesTheAssertionLine) {
    // Written before anyone throws or catches it: the line must be there even
    // when the record ends the process uncaught.
    testing::internal::CaptureStderr();
    BRIVO::Err e("src\\Network\\SocketV4", 171, 6);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\nBRIVO ASSERT[src\\Network\\SocketV4]Line:171[code:6 Data:0]\n");
    EXPECT_EQ(e.data, 0);
}

TEST(ErrRecord, NegativeCodeInDecimal) {
    testing::internal::CaptureStderr();
    BRIVO::Err e("src\\Network\\Socket", 68, -12);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nBRIVO ASSERT[src\\Network\\Socket]Line:68[code:-12 Data:0]\n");
}
