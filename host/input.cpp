// Input bindings: the joystick table, the binding scan used while a binding
// is captured, the held test, display names, and the pad update.
//
//   Joysticks ........... OpenJoysticks
//   Binding codes ....... ScanBinding, IsBindingPressed, BindingName
//   Controller byte ..... SetPadBit, UpdatePad, ReadControls
//
// Joysticks are polled: the main loop refreshes their state once per pass
// before anything here reads it.
#include "host/input.h"

#include <SDL.h>
#include <cstdio>

#include "core/machine.h"
#include "host/host.h"
#include "overlay/menu.h"
#include "overlay/settings.h"

SDL_Joystick* Joysticks[MaxJoysticks];
int32_t JoystickCount;

namespace {

constexpr uint32_t KindShift = 30;
constexpr uint32_t KindKey = 0;
constexpr uint32_t KindButton = 1;
constexpr uint32_t KindAxis = 2;
constexpr BindingCode ButtonBase = 0x40000000;
constexpr BindingCode AxisBase = 0x80000000;
constexpr BindingCode AxisPositive = 0x8000;
constexpr int JoystickShift = 16;
// Scancodes, buttons and axes each have an 8-bit field in a code.
constexpr int IndexLimit = 256;

constexpr int ScancodeReturn = 40;
constexpr int ScancodeLeftAlt = 226;
constexpr int ScancodeRightAlt = 230;

constexpr int NameBufferSize = 1024;
char NameText[NameBufferSize];

// The handle a code's joystick number names, or none for a number that was
// never opened: such a binding is simply never held.
SDL_Joystick* JoystickFor(BindingCode code) {
    const uint32_t number = (code >> JoystickShift) & 0xFF;
    return number < uint32_t(MaxJoysticks) ? Joysticks[number] : nullptr;
}

// The binding that a binding row of the menu stands for, by row position
// (Up, Down, Left, Right, Select, Start, B, A).
constexpr int BindingRows = 8;
BindingCode* const RowBindings[BindingRows] = {&Config.ButtonUp,    &Config.ButtonDown,   &Config.ButtonLeft,
                                               &Config.ButtonRight, &Config.ButtonSelect, &Config.ButtonStart,
                                               &Config.ButtonB,     &Config.ButtonA};

} // namespace

// ---------------------------------------------------------------------------
// Joysticks

void OpenJoysticks() {
    JoystickCount = SDL_NumJoysticks();
    if (JoystickCount > MaxJoysticks) JoystickCount = MaxJoysticks;
    for (int32_t i = 0; i < JoystickCount; i++)
        Joysticks[i] = SDL_JoystickOpen(i);
}

// ---------------------------------------------------------------------------
// Binding codes

BindingCode ScanBinding() {
    for (int scancode = 0; scancode < IndexLimit; scancode++)
        if (KeyboardState[scancode]) return BindingCode(scancode);
    // The counts are asked again at every step, as the host may lose a
    // device between two questions.
    for (int j = 0; j < SDL_NumJoysticks() && j < MaxJoysticks; j++) {
        SDL_Joystick* stick = Joysticks[j];
        if (!stick) continue;
        const BindingCode joystick = BindingCode(j) << JoystickShift;
        for (int b = 0; b < SDL_JoystickNumButtons(stick) && b < IndexLimit; b++)
            if (SDL_JoystickGetButton(stick, b)) return ButtonBase | joystick | BindingCode(b);
        for (int a = 0; a < SDL_JoystickNumAxes(stick) && a < IndexLimit; a++) {
            const int32_t v = SDL_JoystickGetAxis(stick, a);
            if (v < -AxisThreshold) return AxisBase | joystick | BindingCode(a);
            if (v > AxisThreshold) return AxisBase | AxisPositive | joystick | BindingCode(a);
        }
    }
    return 0;
}

bool IsBindingPressed(BindingCode code) {
    switch (code >> KindShift) {
    case KindKey: return KeyboardState[code & 0xFF] != 0;
    case KindButton: {
        SDL_Joystick* stick = JoystickFor(code);
        return stick && SDL_JoystickGetButton(stick, int(code & 0xFF)) != 0;
    }
    case KindAxis: {
        SDL_Joystick* stick = JoystickFor(code);
        if (!stick) return false;
        int32_t v = SDL_JoystickGetAxis(stick, int(code & 0xFF));
        // Turned so that the bound direction is always the negative side.
        if (code & AxisPositive) v = -v;
        return v < -AxisThreshold;
    }
    default: return false;
    }
}

const char* BindingName(BindingCode code) {
    std::snprintf(NameText, sizeof NameText, "UNKNOWN");
    const int joystick = int((code >> JoystickShift) & 0xFF);
    const int index = int(code & 0xFF);
    switch (code >> KindShift) {
    case KindKey: {
        const char* name = SDL_GetScancodeName(SDL_Scancode(index));
        if (name && name[0]) std::snprintf(NameText, sizeof NameText, "%s", name);
        // The overlay's font has capitals only.
        for (char* c = NameText; *c; c++)
            if (*c >= 'a' && *c <= 'z') *c = char(*c - 'a' + 'A');
        break;
    }
    case KindButton: std::snprintf(NameText, sizeof NameText, "J%i BUTTON %i", joystick, index); break;
    case KindAxis:
        std::snprintf(NameText, sizeof NameText, "J%i AXIS %i %c", joystick, index,
                      (code & AxisPositive) ? '+' : '-');
        break;
    default: break;
    }
    return NameText;
}

// ---------------------------------------------------------------------------
// Controller byte

void SetPadBit(uint8_t mask, bool held) {
    if (held)
        machine.PadState |= mask;
    else
        machine.PadState &= uint8_t(~mask);
}

void UpdatePad() {
    SetPadBit(0x40, IsBindingPressed(Config.ButtonLeft));
    SetPadBit(0x80, IsBindingPressed(Config.ButtonRight));
    SetPadBit(0x10, IsBindingPressed(Config.ButtonUp));
    SetPadBit(0x20, IsBindingPressed(Config.ButtonDown));
    SetPadBit(0x04, IsBindingPressed(Config.ButtonSelect));
    SetPadBit(0x08, IsBindingPressed(Config.ButtonStart));
    SetPadBit(0x02, IsBindingPressed(Config.ButtonB));
    SetPadBit(0x01, IsBindingPressed(Config.ButtonA));
}

void ReadControls() {
    if (Host.CapturePending) {
        const BindingCode code = ScanBinding();
        if (code == 0) return;
        for (int row = 0; row < BindingRows; row++)
            if (Host.CaptureItem == Host.BindingRowItems[row]) *RowBindings[row] = code;
        EndCapture();
        return;
    }
    // Alt+Return is the full-screen chord; Return alone may be Start, so the
    // game must not see it while the chord is held.
    const bool alt = KeyboardState[ScancodeLeftAlt] || KeyboardState[ScancodeRightAlt];
    if (alt && KeyboardState[ScancodeReturn]) return;
    UpdatePad();
}
