#include <gtest/gtest.h>

#include "LaunchApp.h"
#include "UiRecorder.h"

namespace {

struct LaunchErrorCase {
    const char* name;
    int code;
    const char* text;
};

class LaunchErrorTest : public ::testing::TestWithParam<LaunchErrorCase> {};

TEST_P(LaunchErrorTest, ShowsTheTableTextUnderTheDefaultTitleWithoutBeep) {
    CUiRecorder recorder;
    CLaunchApp::ShowError(GetParam().code);
    ASSERT_EQ(recorder.Messages().size(), 1u);
    const auto& message = recorder.Messages().front();
    EXPECT_EQ(message.text, QString::fromUtf8(GetParam().text));
    EXPECT_EQ(message.ShownTitle(), "Error");
    EXPECT_EQ(message.beep, BeepKind::None);
    EXPECT_EQ(message.icon, MessageIcon::None);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, LaunchErrorTest,
    ::testing::Values(
        LaunchErrorCase{"no_association", 31,
                        "There is no application associated with\rthe given file name "
                        "extension.\rPlease open the application manually"},
        LaunchErrorCase{"file_not_found", 2, "The specified file was not found"},
        LaunchErrorCase{"dde_time_out", 28,
                        "The DDE transaction could not be completed\rbecause the request timed "
                        "out"},
        LaunchErrorCase{"bad_format_as_spelt", 11, "The.exe file is invalid."},
        LaunchErrorCase{"code_without_row", 4, "An Unknown Error Occurred"},
        LaunchErrorCase{"negative_code", -1, "An Unknown Error Occurred"}),
    [](const auto& info) { return std::string(info.param.name); });

// The window tests open the authorisation URL and meet a desktop that refuses it.
TEST(LaunchApp, ProgramThatCannotStartIsFileNotFound) {
    CUiRecorder recorder;
    CLaunchApp launch("/nonexistent/calvenor-no-such-program", "--flag value", "open", "", nullptr);
    EXPECT_FALSE(launch.Launch());
    EXPECT_EQ(launch.LastError(), 2);
    EXPECT_TRUE(recorder.OpenedUrls().empty());
}

}  // namespace
