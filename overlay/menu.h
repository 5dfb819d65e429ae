// The configuration menu: a heading, eight binding rows and the five video
// choices, built once at start-up.
#pragma once

#include <cstdint>

void BuildMenu();
void OnBindingRow(int32_t value);
void OnVideoChoice(int32_t slot);
// True when a capture was pending and is now ended.
bool EndCapture();
