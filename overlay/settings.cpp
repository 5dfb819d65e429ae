// The settings record and "config.cfg".
//
//   Defaults ............ ApplyDefaultSettings
//   Reading ............. LoadSettings, ReadIntSetting, ReadHexSetting
//   Writing ............. SaveSettings, KeepSettingsStored
//
// Reading is deliberately forgiving: every key is looked for on its own, the
// last line that names it and parses wins, and anything else is ignored.
// Writing replaces the file in one step, so the player's settings are never
// left half-written.
#include "overlay/settings.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "host/storage.h"

Settings Config;

namespace {

constexpr const char* SettingsFile = "config.cfg";
// Written first and renamed over the settings file once it is complete: the
// same folder, so the rename never crosses file systems.
constexpr const char* SettingsTempFile = "config.cfg.tmp";
constexpr int LineBufferSize = 1024;
constexpr int SearchBufferSize = 64;
// Eleven lines of at most 33 characters.
constexpr int SettingsTextSize = 512;
// The file that LoadSettings holds open while the readers run.
FILE* SettingsStream = nullptr;

// The values as "config.cfg" holds them, in its order, as far as the player
// knows: read at start-up, replaced by every write.
constexpr int SettingCount = 11;
int32_t StoredValues[SettingCount];
// A change stands for this long before it is written, so that a run of
// changes (the scale keys pressed one after another) is written once.
constexpr uint64_t SettleMs = 500;
bool ChangePending = false;
uint64_t ChangeSeenAt = 0;

// Set once the defaults are in the record. Until then the record holds
// nothing worth keeping, and an exit must not overwrite the stored file.
bool DefaultsApplied = false;

// The line parsers. Numbers read as the "%i" and "%x" conversions read them
// (leading blanks, a sign, base prefixes), but values out of range are held
// at the ends of the type instead of being undefined.
bool ParseInt(const char* text, int32_t* value) {
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text, &end, 0);
    if (end == text) return false;
    if (parsed > INT32_MAX)
        *value = INT32_MAX;
    else if (parsed < INT32_MIN)
        *value = INT32_MIN;
    else
        *value = int32_t(parsed);
    return true;
}

bool ParseHex(const char* text, int32_t* value) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long parsed = std::strtoull(text, &end, 16);
    if (end == text) return false;
    // A sign wraps as it does in "%x"; only a value past every width is held.
    *value = int32_t(uint32_t(errno == ERANGE ? UINT32_MAX : parsed));
    return true;
}

// Finds the last line that contains `search` and parses, from the offset of
// the search text's length past the line start, so that a key indented or
// preceded by other text is found but not read.
int32_t ReadSetting(const char* search, int32_t current, bool (*parse)(const char*, int32_t*)) {
    if (!SettingsStream) return current;
    const size_t offset = std::strlen(search);
    char line[LineBufferSize];
    std::rewind(SettingsStream);
    while (std::fgets(line, sizeof line, SettingsStream)) {
        // A line holding the search text is at least as long as it, so the
        // offset always lies inside the line.
        if (std::strstr(line, search)) parse(line + offset, &current);
    }
    return current;
}

// The record's values in the file's order.
void TakeValues(int32_t values[SettingCount]) {
    const Settings& s = Config;
    const int32_t taken[SettingCount] = {s.Windowed ? 1 : 0,
                                         s.Scale,
                                         s.SoundInterpolation.load(std::memory_order_relaxed),
                                         int32_t(s.ButtonLeft),
                                         int32_t(s.ButtonRight),
                                         int32_t(s.ButtonUp),
                                         int32_t(s.ButtonDown),
                                         int32_t(s.ButtonSelect),
                                         int32_t(s.ButtonStart),
                                         int32_t(s.ButtonB),
                                         int32_t(s.ButtonA)};
    std::memcpy(values, taken, sizeof taken);
}

// The whole file in one piece, formatted on the stack: written while the
// game runs, it must not allocate.
bool WriteAll(const int32_t values[SettingCount]) {
    const int32_t* v = values;
    char text[SettingsTextSize];
    const int length = std::snprintf(
        text, sizeof text,
        "Windowed=%i\nScale=%i\nSoundInterpolation=%i\nButtonLeft=0x%8.8x\nButtonRight=0x%8.8x\n"
        "ButtonUp=0x%8.8x\nButtonDown=0x%8.8x\nButtonSelect=0x%8.8x\nButtonStart=0x%8.8x\n"
        "ButtonB=0x%8.8x\nButtonA=0x%8.8x\n",
        v[0], v[1], v[2], uint32_t(v[3]), uint32_t(v[4]), uint32_t(v[5]), uint32_t(v[6]), uint32_t(v[7]),
        uint32_t(v[8]), uint32_t(v[9]), uint32_t(v[10]));
    if (length < 0 || size_t(length) >= sizeof text) return false;
    return StoreFile(SettingsFile, SettingsTempFile, text, size_t(length));
}

} // namespace

// ---------------------------------------------------------------------------
// Defaults

void ApplyDefaultSettings() {
    Config.Scale = 3;
    Config.Windowed = true;
    Config.ButtonLeft = 0x50;   // Left arrow
    Config.ButtonRight = 0x4F;  // Right arrow
    Config.ButtonUp = 0x52;     // Up arrow
    Config.ButtonDown = 0x51;   // Down arrow
    Config.ButtonSelect = 0x2C; // Space
    Config.ButtonStart = 0x28;  // Return
    Config.ButtonB = 0x1D;      // Z
    Config.ButtonA = 0x1B;      // X
    Config.SoundInterpolation.store(0, std::memory_order_relaxed);
    DefaultsApplied = true;
}

// ---------------------------------------------------------------------------
// Reading

bool LoadSettings() {
    SettingsStream = std::fopen(SettingsFile, "rt");
    if (!SettingsStream) {
        TakeValues(StoredValues);
        return false;
    }
    Config.Windowed = ReadIntSetting("Windowed", Config.Windowed ? 1 : 0) != 0;
    Config.Scale = ReadIntSetting("Scale", Config.Scale);
    Config.SoundInterpolation.store(
        ReadIntSetting("SoundInterpolation", Config.SoundInterpolation.load(std::memory_order_relaxed)),
        std::memory_order_relaxed);
    BindingCode* const bindings[] = {&Config.ButtonLeft, &Config.ButtonRight,  &Config.ButtonUp,
                                     &Config.ButtonDown, &Config.ButtonSelect, &Config.ButtonStart,
                                     &Config.ButtonB,    &Config.ButtonA};
    const char* const names[] = {"ButtonLeft",   "ButtonRight", "ButtonUp", "ButtonDown",
                                 "ButtonSelect", "ButtonStart", "ButtonB",  "ButtonA"};
    for (size_t i = 0; i < std::size(names); i++)
        *bindings[i] = BindingCode(ReadHexSetting(names[i], int32_t(*bindings[i])));
    std::fclose(SettingsStream);
    SettingsStream = nullptr;
    TakeValues(StoredValues);
    return true;
}

int32_t ReadIntSetting(const char* name, int32_t current) {
    char search[SearchBufferSize];
    std::snprintf(search, sizeof search, "%s=", name);
    return ReadSetting(search, current, ParseInt);
}

int32_t ReadHexSetting(const char* name, int32_t current) {
    char search[SearchBufferSize];
    std::snprintf(search, sizeof search, "%s=0x", name);
    return ReadSetting(search, current, ParseHex);
}

// ---------------------------------------------------------------------------
// Writing

void SaveSettings() {
    if (!DefaultsApplied) return;
    // Taken as stored even when the write fails: a folder that refuses the
    // file is not asked again every pass, only at the next change and at
    // exit.
    TakeValues(StoredValues);
    WriteAll(StoredValues);
}

void KeepSettingsStored(uint64_t now, uint64_t frequency) {
    int32_t values[SettingCount];
    TakeValues(values);
    if (std::memcmp(values, StoredValues, sizeof values) == 0) {
        ChangePending = false;
        return;
    }
    if (!ChangePending) {
        ChangePending = true;
        ChangeSeenAt = now;
        return;
    }
    if (now - ChangeSeenAt < frequency / 1000 * SettleMs) return;
    ChangePending = false;
    SaveSettings();
}
