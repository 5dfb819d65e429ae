// Input bindings: keyboard keys, joystick buttons and joystick axis
// directions, and the pad update that turns them into `PadState`.
#pragma once

#include <cstdint>

struct _SDL_Joystick;

// Bits 31-30: 0 key (scancode in bits 0-7), 1 joystick button, 2 joystick
// axis direction (0x8000 = positive side), 3 never produced. Joystick number
// in bits 16-23, button or axis index in bits 0-7.
using BindingCode = uint32_t;

constexpr int MaxJoysticks = 16;
constexpr int AxisThreshold = 3200;

extern _SDL_Joystick* Joysticks[MaxJoysticks];
extern int32_t JoystickCount;

void OpenJoysticks();
BindingCode ScanBinding();
bool IsBindingPressed(BindingCode code);
const char* BindingName(BindingCode code);
void SetPadBit(uint8_t mask, bool held);
void UpdatePad();

// The input step of a main-loop pass: completes a pending binding capture
// with the first input held, or else refreshes `PadState` from the bindings
// (left as it is while Alt+Return is held).
void ReadControls();
