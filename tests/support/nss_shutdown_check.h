#pragma once

#include <gtest/gtest.h>

#include "nss/nss_runtime.h"

namespace mirebolt::testing {

// NSS refuses to shut down while any reference it handed out is still held: a failure here
// is a leak somewhere in the program's tests.
class NssShutdownCheck : public ::testing::Environment {
  public:
    void TearDown() override {
        EXPECT_TRUE(platform::NssRuntime::Shutdown()) << "an NSS reference leaked";
    }
};

}  // namespace mirebolt::testing
