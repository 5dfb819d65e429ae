// A Windows session that ends while the player runs: the process may be
// ended as soon as the end is answered, so the settings must be on disk by
// then, and the loop is told to end. Only Windows sends these messages.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <windows.h>

#include "host/shutdown.h"
#include "overlay/settings.h"
#include "support/cartridge.h"

namespace {

std::string Read(const char* name) {
    std::ifstream file(name, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

// Asked whether it may end, and told that a logoff was called off, the
// player writes nothing and plays on; told that the session ends, it has
// written its settings when the message returns.
TEST(SessionEnd, TheSettingsAreWrittenBeforeTheEndIsAnswered) {
    const std::string folder = make_temp_folder();
    ASSERT_FALSE(folder.empty());
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    ApplyDefaultSettings();
    Config.Scale = 2;
    PrepareEnding();
    // A window of the thread's own that needs no desktop to show on.
    HWND window =
        CreateWindowExA(0, "STATIC", "Halvenor", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);

    SendMessageA(window, WM_QUERYENDSESSION, 0, 0);
    SendMessageA(window, WM_ENDSESSION, FALSE, 0);
    EXPECT_FALSE(std::filesystem::exists("config.cfg"));
    EXPECT_FALSE(EndRequested());

    SendMessageA(window, WM_ENDSESSION, TRUE, 0);
    EXPECT_TRUE(EndRequested());
    EXPECT_NE(Read("config.cfg").find("Scale=2\n"), std::string::npos) << Read("config.cfg");

    DestroyWindow(window);
    std::filesystem::current_path(previous);
    remove_folder(folder);
}
