// The player's settings and "config.cfg", read at start-up, written soon
// after every change and again at exit.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/input.h"

struct Settings {
    int32_t Scale;
    bool Windowed;
    BindingCode ButtonLeft;
    BindingCode ButtonRight;
    BindingCode ButtonUp;
    BindingCode ButtonDown;
    BindingCode ButtonSelect;
    BindingCode ButtonStart;
    BindingCode ButtonB;
    BindingCode ButtonA;
    // Read by the audio thread for every buffer: nonzero selects interpolation.
    std::atomic<int32_t> SoundInterpolation;
};

extern Settings Config;

void ApplyDefaultSettings();
bool LoadSettings();
void SaveSettings();
// Called every pass: writes the settings once they have stood changed for a
// moment, so that a crash or a power loss keeps them; never when nothing
// changed.
void KeepSettingsStored(uint64_t now, uint64_t frequency);
int32_t ReadIntSetting(const char* name, int32_t current);
int32_t ReadHexSetting(const char* name, int32_t current);
