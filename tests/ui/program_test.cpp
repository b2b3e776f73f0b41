// The program itself, started as a desktop would start it.
#include <gtest/gtest.h>

#include "base/product_facts.h"
#include "support/commands.h"
#include "support/test_files.h"
#include "ui/centring.h"

namespace mirebolt::testing {
namespace {

TEST(Program, WithoutAnyDisplayItSaysSoInOneLineAndEndsWith255) {
    TempDir home;
    ProgramResult run = RunProgram(
        {MIREBOLT_APP, "--some", "argument"},
        {"QT_QPA_PLATFORM=xcb", "DISPLAY=", "WAYLAND_DISPLAY=", "HOME=" + home.path().string()},
        home.path().string());
    EXPECT_EQ(run.exitCode, 255) << run.err;
    EXPECT_EQ(run.err, "mirebolt needs a graphical display; use mirebolt-cli on a terminal\n")
        << "one clear line, not Qt's advice to reinstall";
    EXPECT_TRUE(std::filesystem::is_empty(home.path())) << "nothing written";
}

TEST(Program, WithoutASessionBusItStartsNoneThatOutlivesIt) {
    TempDir home;
    ProgramResult run = RunProgram(
        {"/bin/bash", std::string(MIREBOLT_TEST_TOOLS) + "/no_bus_left.sh", MIREBOLT_APP}, {},
        home.path().string());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "") << "a bus or a file the program left behind";
}

TEST(Centring, CentresOnTheWorkAreaAndStaysInside) {
    const QRect area(0, 0, 1280, 760);
    EXPECT_EQ(ui::CentredPosition(QSize(526, 356), area), QPoint(377, 202));
    EXPECT_EQ(ui::CentredPosition(QSize(2000, 356), area), QPoint(0, 202)) << "the left edge wins";
    const QRect shifted(100, 50, 800, 600);
    EXPECT_EQ(ui::CentredPosition(QSize(200, 100), shifted, QRect(700, 500, 300, 200)),
              QPoint(700, 550))
        << "pushed back inside on the right and bottom";
}

}  // namespace
}  // namespace mirebolt::testing

namespace mirebolt::testing {
namespace {

TEST(Program, EachCopyTakesCommandsOnItsOwnAndEndsWithTheirCode) {
    TempDir home;
    ProgramResult run = RunProgram({"/usr/bin/dbus-run-session", "--", "bash",
                                    std::string(MIREBOLT_TEST_TOOLS) + "/two_copies.sh",
                                    MIREBOLT_APP, product::kApplicationId},
                                   {"HOME=" + home.path().string()}, home.path().string());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("first=1\n"), std::string::npos) << run.out << run.err;
    EXPECT_NE(run.out.find("second=2\n"), std::string::npos) << run.out << run.err;
}

}  // namespace
}  // namespace mirebolt::testing
