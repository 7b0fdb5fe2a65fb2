// tovi's Linux command line.
#include <gtest/gtest.h>

#include "platform/linux/command_line.h"

namespace tovi::platform {
namespace {

TEST(CommandLine, KnownOptionsSelectTheirModeAndAnythingElseIsAnError) {
    EXPECT_EQ(parseCommandLine({}).mode, StartMode::Window);
    EXPECT_EQ(parseCommandLine({"--no-window"}).mode, StartMode::NoWindow);
    EXPECT_EQ(parseCommandLine({"--help"}).mode, StartMode::Help);
    EXPECT_EQ(parseCommandLine({"-h"}).mode, StartMode::Help);
    EXPECT_EQ(parseCommandLine({"--version"}).mode, StartMode::Version);
    EXPECT_EQ(parseCommandLine({"--no-window", "--version"}).mode, StartMode::Version);
    EXPECT_EQ(parseCommandLine({"--help", "--no-window"}).mode, StartMode::Help);

    for (const auto& args : {std::vector<std::string_view>{"--nowindow"},
                             {"-platform"},
                             {"x"},
                             {""},
                             {"--no-window", "--bogus"},
                             {"--help", "--bogus"},
                             {"--version="}}) {
        const CommandLine line = parseCommandLine(args);
        EXPECT_EQ(line.mode, StartMode::Error) << args.back();
        EXPECT_NE(line.error.find(std::string(args.back())), std::string::npos) << line.error;
    }
    EXPECT_NE(usageText().find("--no-window"), std::string::npos);
    EXPECT_EQ(usageText().rfind(kUsageLine, 0), 0U);
}

}  // namespace
}  // namespace tovi::platform
