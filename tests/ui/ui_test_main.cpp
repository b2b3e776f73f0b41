#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "platform/nss_runtime.h"

namespace {

class NssShutdownCheck : public ::testing::Environment {
  public:
    void TearDown() override {
        EXPECT_TRUE(mirebolt::platform::NssRuntime::Shutdown()) << "an NSS reference leaked";
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");  // the window must work without a session bus
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new NssShutdownCheck);
    return RUN_ALL_TESTS();
}
