// The configuration menu: a heading, eight binding rows and the five video
// choices, built once at start-up.
#pragma once

#include <cstdint>

#include "host/input.h"

void BuildMenu();
void OnBindingRow(int32_t value);
void OnVideoChoice(int32_t slot);
// True when a capture was pending and is now ended.
bool EndCapture();
// The setting that the binding row with this item index shows and captures;
// null for any other item.
BindingCode* BindingOfRow(int32_t item);
