#include <gtest/gtest.h>

#include "support/nss_shutdown_check.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new mirebolt::testing::NssShutdownCheck);
    return RUN_ALL_TESTS();
}
