// A fatal stop before start-up got to the default settings (no game, no
// sound device) runs the same exit path as any other end, but must leave the
// stored settings alone. This program never applies the defaults, so its
// processes are in exactly that state.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "core/machine.h"
#include "overlay/settings.h"
#include "support/cartridge.h"
#include "support/environment.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(EarlyStop, LeavesTheStoredSettingsAlone) {
    const std::string folder = make_temp_folder();
    ASSERT_FALSE(folder.empty());
    const std::string stored = "Scale=4\nButtonA=0x0000000e\n";
    std::ofstream(folder + "/config.cfg", std::ios::binary) << stored;

    GTEST_FLAG_SET(death_test_style, "fast");
    EXPECT_EXIT(
        {
            std::filesystem::current_path(folder);
            std::atexit(SaveSettings);
            fatal_error("Unable to initialize emulator\n");
        },
        ::testing::ExitedWithCode(fatal_exit_status), "");

    EXPECT_EQ(Read(folder + "/config.cfg"), stored);
    EXPECT_FALSE(std::filesystem::exists(folder + "/config.cfg.tmp"));
    remove_folder(folder);
}

} // namespace
