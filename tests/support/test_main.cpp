#include <gtest/gtest.h>

#include "platform/nss_runtime.h"

namespace {

// NSS refuses to shut down while any reference it handed out is still held: a failure here
// is a leak somewhere in the program's tests.
class NssShutdownCheck : public ::testing::Environment {
  public:
    void TearDown() override {
        EXPECT_TRUE(mirebolt::platform::NssRuntime::Shutdown()) << "an NSS reference leaked";
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new NssShutdownCheck);
    return RUN_ALL_TESTS();
}
