#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "support/nss_shutdown_check.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");  // the window must work without a session bus
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new mirebolt::testing::NssShutdownCheck);
    return RUN_ALL_TESTS();
}
