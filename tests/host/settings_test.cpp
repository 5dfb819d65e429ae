// "config.cfg": what a hand-edited file gives, what is written back, and
// that a failed or premature write never costs the player the stored file.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>

#include "overlay/settings.h"
#include "support/cartridge.h"
#include "support/environment.h"

namespace {

const char* const DefaultFile = "Windowed=1\n"
                                "Scale=3\n"
                                "SoundInterpolation=0\n"
                                "ButtonLeft=0x00000050\n"
                                "ButtonRight=0x0000004f\n"
                                "ButtonUp=0x00000052\n"
                                "ButtonDown=0x00000051\n"
                                "ButtonSelect=0x0000002c\n"
                                "ButtonStart=0x00000028\n"
                                "ButtonB=0x0000001d\n"
                                "ButtonA=0x0000001b\n";

// Each test runs in a fresh folder of its own, as the player runs in its
// play folder.
class SettingsFile : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = make_temp_folder();
        ASSERT_FALSE(folder.empty());
        previous = std::filesystem::current_path();
        std::filesystem::current_path(folder);
    }
    void TearDown() override {
        std::filesystem::current_path(previous);
        remove_folder(folder);
    }
    static void Write(const std::string& text) { std::ofstream("config.cfg", std::ios::binary) << text; }
    static std::string Read(const char* name = "config.cfg") {
        std::ifstream file(name, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    // Start-up's order: defaults, then the file over them.
    static void Load(const std::string& text) {
        Write(text);
        ApplyDefaultSettings();
        EXPECT_TRUE(LoadSettings());
    }
    std::string folder;
    std::filesystem::path previous;
};

TEST_F(SettingsFile, KeysNotInTheFileKeepTheirDefaults) {
    Load("Scale=2\n");
    EXPECT_EQ(Config.Scale, 2);
    EXPECT_TRUE(Config.Windowed);
    EXPECT_EQ(Config.SoundInterpolation.load(), 0);
    EXPECT_EQ(Config.ButtonLeft, 0x50u);
    EXPECT_EQ(Config.ButtonRight, 0x4Fu);
    EXPECT_EQ(Config.ButtonUp, 0x52u);
    EXPECT_EQ(Config.ButtonDown, 0x51u);
    EXPECT_EQ(Config.ButtonSelect, 0x2Cu);
    EXPECT_EQ(Config.ButtonStart, 0x28u);
    EXPECT_EQ(Config.ButtonB, 0x1Du);
    EXPECT_EQ(Config.ButtonA, 0x1Bu);

    // No file at all: the same defaults, silently.
    std::remove("config.cfg");
    ApplyDefaultSettings();
    EXPECT_FALSE(LoadSettings());
    EXPECT_EQ(Config.Scale, 3);
}

TEST_F(SettingsFile, NumbersReadAsTheFormattedInputReadsThem) {
    Load("Scale=2\nScale=4\n");
    EXPECT_EQ(Config.Scale, 4) << "the later line wins";
    Load("Scale=010\n");
    EXPECT_EQ(Config.Scale, 8) << "a leading 0 is octal";
    Load("Scale=0x2\n");
    EXPECT_EQ(Config.Scale, 2);
    Load("Scale=-1\nSoundInterpolation=2\n");
    EXPECT_EQ(Config.Scale, -1) << "taken without range tests";
    EXPECT_EQ(Config.SoundInterpolation.load(), 2);
    Load("Scale=4\nScale=wide\n");
    EXPECT_EQ(Config.Scale, 4) << "a line that does not parse is passed over";
    Load("Scale=99999999999\n");
    EXPECT_EQ(Config.Scale, INT32_MAX) << "held at the end of the range";
    Load("Scale=-99999999999\n");
    EXPECT_EQ(Config.Scale, INT32_MIN) << "at either end";

    Load("ButtonA=27\n");
    EXPECT_EQ(Config.ButtonA, 0x1Bu) << "a binding needs its 0x";
    Load("ButtonA=0x1b\nButtonB=0X2\n");
    EXPECT_EQ(Config.ButtonA, 0x1Bu);
    EXPECT_EQ(Config.ButtonB, 0x1Du) << "the key is case-sensitive, 0X included";
    Load("ButtonUp=0x80008001\nButtonDown=0x40010003\n");
    EXPECT_EQ(Config.ButtonUp, 0x80008001u);
    EXPECT_EQ(Config.ButtonDown, 0x40010003u);
}

// A value with no number in it, empty included, is a line that does not
// parse: the setting keeps what the lines before it gave, never 0.
TEST_F(SettingsFile, AValueWithoutDigitsLeavesTheSettingAsItWas) {
    struct Case {
        const char* file;
        int32_t scale;
        uint32_t button_a;
    };
    const Case cases[] = {
        {"Scale=2\nScale=\nButtonA=0x0e\nButtonA=0x\n", 2, 0x0E},
        {"Scale=2\nScale=\r\nButtonA=0x0e\nButtonA=0x\r\n", 2, 0x0E},
        {"Scale=2\nScale=-\nButtonA=0x0e\nButtonA=0x-\n", 2, 0x0E},
        {"Scale=2\nScale= x\nButtonA=0x0e\nButtonA=0x g\n", 2, 0x0E},
        {"Scale=\nButtonA=0x\n", 3, 0x1B},
        {"Scale=\nButtonA=\n", 3, 0x1B},
        {"Scale=0\nButtonA=0x0\n", 0, 0x00}, // a real 0 is still taken
    };
    for (const Case& c : cases) {
        Load(c.file);
        EXPECT_EQ(Config.Scale, c.scale) << c.file;
        EXPECT_EQ(Config.ButtonA, c.button_a) << c.file;
    }
}

TEST_F(SettingsFile, KeysAreFoundAnywhereButReadFromTheirOwnLength) {
    Load("  Scale=2\n");
    EXPECT_EQ(Config.Scale, 3) << "parsed from two characters too early";
    Load("xxScale=20\n");
    EXPECT_EQ(Config.Scale, 3);
    Load("Scale=2\r\nButtonA=0x0e\r\nWindowed=0\r\n");
    EXPECT_EQ(Config.Scale, 2) << "CRLF lines read as plain ones";
    EXPECT_EQ(Config.ButtonA, 0x0Eu);
    EXPECT_FALSE(Config.Windowed);

    // A line longer than the reader's buffer arrives in pieces; a piece that
    // begins with a key counts as a line of its own.
    Load(std::string(1023, '#') + "Scale=4\n" + std::string(5000, 'Q') + "\n");
    EXPECT_EQ(Config.Scale, 4);
}

TEST_F(SettingsFile, WritesTheElevenLinesWithDefaultsByteForByte) {
    ApplyDefaultSettings();
    SaveSettings();
    EXPECT_EQ(Read(), DefaultFile);
    EXPECT_FALSE(std::filesystem::exists("config.cfg.tmp"));

    // Any nonzero Windowed is windowed, and goes back as 1.
    Load("Windowed=5\n");
    SaveSettings();
    EXPECT_EQ(Read(), DefaultFile);
}

TEST_F(SettingsFile, EverySettingSurvivesAWriteAndARead) {
    Load("Windowed=0\nScale=1\nSoundInterpolation=7\nButtonLeft=0x80000001\nButtonRight=0x80008001\n"
         "ButtonUp=0x40000000\nButtonDown=0x400f00ff\nButtonSelect=0xc0000000\nButtonStart=0xffffffff\n"
         "ButtonB=0x00000000\nButtonA=0x0000000e\n");
    SaveSettings();
    const std::string written = Read();
    Load(written);
    SaveSettings();
    EXPECT_EQ(Read(), written);
    EXPECT_FALSE(Config.Windowed);
    EXPECT_EQ(Config.Scale, 1);
    EXPECT_EQ(Config.SoundInterpolation.load(), 7);
    EXPECT_EQ(Config.ButtonDown, 0x400F00FFu);
    EXPECT_EQ(Config.ButtonStart, 0xFFFFFFFFu);
    EXPECT_EQ(Config.ButtonB, 0u);
}

TEST_F(SettingsFile, AFailedWriteKeepsTheOldFile) {
    const std::string stored = "Scale=2\nButtonA=0x0000000e\n";
    Write(stored);
    ApplyDefaultSettings();

    // The temporary file cannot be created.
    std::filesystem::create_directory("config.cfg.tmp");
    SaveSettings();
    EXPECT_EQ(Read(), stored);
    std::filesystem::remove("config.cfg.tmp");

    // The disk fills up half-way through.
    if (!fill_disk_after(40)) GTEST_SKIP() << "no way to fill the disk here";
    SaveSettings();
    free_disk();
    EXPECT_EQ(Read(), stored);
    EXPECT_FALSE(std::filesystem::exists("config.cfg.tmp"));

    // And once the disk has room again, the next write goes through.
    SaveSettings();
    EXPECT_EQ(Read(), DefaultFile);
}

// While the player runs, a change reaches the file a moment after it stands,
// once for a run of changes, and never without one.
TEST_F(SettingsFile, ChangesAreWrittenSoonAfterAndOnlyThen) {
    constexpr uint64_t Second = 1000;
    Load("Scale=2\n");
    const std::string stored = Read();
    for (uint64_t ms = 0; ms <= 3 * Second; ms += 16)
        KeepSettingsStored(ms, Second);
    EXPECT_EQ(Read(), stored) << "nothing changed: the file stays as the person wrote it";

    // The scale keys pressed one after another, a pass apart.
    uint64_t now = 4 * Second;
    for (const int32_t scale : {3, 4, 1}) {
        Config.Scale = scale;
        KeepSettingsStored(now, Second);
        now += 16;
    }
    // Half a second from the first change of the run, not the last.
    const uint64_t first_change = 4 * Second;
    KeepSettingsStored(first_change + 499, Second);
    EXPECT_EQ(Read(), stored) << "not while the change is fresh";
    KeepSettingsStored(first_change + 500, Second);
    EXPECT_NE(Read().find("Scale=1\n"), std::string::npos) << "written once it has stood half a second";

    // Written once: a file removed afterwards comes back only with a change.
    std::filesystem::remove("config.cfg");
    for (uint64_t ms = 0; ms <= 3 * Second; ms += 16)
        KeepSettingsStored(now + Second + ms, Second);
    EXPECT_FALSE(std::filesystem::exists("config.cfg"));

    // A change undone before it is written is no change.
    Config.ButtonA = 0x0E;
    KeepSettingsStored(10 * Second, Second);
    Config.ButtonA = 0x1B;
    KeepSettingsStored(10 * Second + 16, Second);
    KeepSettingsStored(11 * Second, Second);
    EXPECT_FALSE(std::filesystem::exists("config.cfg"));

    Config.Windowed = false;
    KeepSettingsStored(12 * Second, Second);
    KeepSettingsStored(13 * Second, Second);
    EXPECT_NE(Read().find("Windowed=0\n"), std::string::npos);
}

} // namespace
