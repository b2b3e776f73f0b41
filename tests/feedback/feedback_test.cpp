#include "feedback/feedback.h"

#include <gtest/gtest.h>

#include "support/fake_ports.h"

namespace mirebolt::feedback {
namespace {

TEST(ErrorReport, AddsTheCodeLineOnlyWhenThereIsACodeAndAText) {
    EXPECT_EQ(ErrorReportText("Failed", 0, "some text"), "Failed");
    EXPECT_EQ(ErrorReportText("Failed", 5, ""), "Failed") << "no text for the code: as for code 0";
    EXPECT_EQ(ErrorReportText("Failed", 5, "Input/output error"),
              "Failed\n\nError 0x00000005: Input/output error");
    EXPECT_EQ(ErrorReportText("Failed", 0xFFFFE02Du, "Cannot decrypt.\n"),
              "Failed\n\nError 0xFFFFE02D: Cannot decrypt.\n");
}

TEST(ErrorReport, TakesThePlatformsTextWhenTheFailureHasNone) {
    testing::RecordingFeedback feedback;
    feedback.ReportError("Failed to decrypt the selected file", Failure{2, ""});
    feedback.ReportError("Failed to decrypt the selected file", Failure{0x7FFFFFF0u, ""});
    feedback.ReportError("Failed to open the select file for reading");
    ASSERT_EQ(feedback.shown.size(), 3u);
    EXPECT_EQ(feedback.shown[0].text,
              "Failed to decrypt the selected file\n\nError 0x00000002: No such file or directory");
    EXPECT_EQ(feedback.shown[1].text, "Failed to decrypt the selected file");
    EXPECT_EQ(feedback.shown[2].text, "Failed to open the select file for reading");
    EXPECT_EQ(feedback.shown[2].title, "Error");
}

TEST(WaitCursor, IsSetOnceAndPutBackOnceOnEveryPath) {
    testing::FakeBusy busy;
    const auto command = [&busy](bool failEarly) {
        WaitCursor cursor(busy);
        EXPECT_TRUE(busy.busy);
        if (failEarly) {
            return;
        }
        EXPECT_TRUE(busy.busy);
    };
    command(true);
    EXPECT_FALSE(busy.busy);
    command(false);
    EXPECT_FALSE(busy.busy);
    EXPECT_EQ(busy.starts, 2);
    EXPECT_EQ(busy.ends, 2);
}

}  // namespace
}  // namespace mirebolt::feedback
