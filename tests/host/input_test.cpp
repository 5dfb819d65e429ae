// Bindings: names, the capture scan, the held test and the controller byte,
// against a keyboard array and joysticks made here. The joystick calls below
// take the place of the host library's own for this test program.
#include <SDL.h>
#include <cstring>
#include <gtest/gtest.h>

#include "core/machine.h"
#include "host/host.h"
#include "host/input.h"
#include "overlay/settings.h"

namespace {

constexpr int FakeJoystickSlots = 20;
constexpr int FakeIndexLimit = 300;

struct FakeJoystick {
    int buttons;
    int axes;
    Uint8 button[FakeIndexLimit];
    Sint16 axis[FakeIndexLimit];
};

FakeJoystick Fakes[FakeJoystickSlots];
int FakeCount = 0;
bool FailOpen[FakeJoystickSlots];
uint8_t Keys[SDL_NUM_SCANCODES];

FakeJoystick& Fake(SDL_Joystick* handle) {
    return *reinterpret_cast<FakeJoystick*>(handle);
}

} // namespace

extern "C" {
int SDL_NumJoysticks(void) {
    return FakeCount;
}
SDL_Joystick* SDL_JoystickOpen(int index) {
    return FailOpen[index] ? nullptr : reinterpret_cast<SDL_Joystick*>(&Fakes[index]);
}
int SDL_JoystickNumButtons(SDL_Joystick* handle) {
    return Fake(handle).buttons;
}
Uint8 SDL_JoystickGetButton(SDL_Joystick* handle, int button) {
    return button < Fake(handle).buttons ? Fake(handle).button[button] : 0;
}
int SDL_JoystickNumAxes(SDL_Joystick* handle) {
    return Fake(handle).axes;
}
Sint16 SDL_JoystickGetAxis(SDL_Joystick* handle, int axis) {
    return axis < Fake(handle).axes ? Fake(handle).axis[axis] : 0;
}
}

namespace {

class Bindings : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(Keys, 0, sizeof Keys);
        std::memset(Fakes, 0, sizeof Fakes);
        std::memset(FailOpen, 0, sizeof FailOpen);
        std::memset(Joysticks, 0, sizeof Joysticks);
        JoystickCount = 0;
        FakeCount = 0;
        KeyboardState = Keys;
        ResetHostState();
        ApplyDefaultSettings();
        machine.PadState = 0;
    }
    static void Attach(int count, int buttons, int axes) {
        FakeCount = count;
        for (int i = 0; i < count; i++) {
            Fakes[i].buttons = buttons;
            Fakes[i].axes = axes;
        }
        OpenJoysticks();
    }
};

TEST_F(Bindings, NamesForEveryKind) {
    EXPECT_STREQ(BindingName(0x28), "RETURN");
    EXPECT_STREQ(BindingName(0xE0), "LEFT CTRL") << "host names upper-cased, blanks kept";
    EXPECT_STREQ(BindingName(0x1B), "X");
    EXPECT_STREQ(BindingName(0x2C), "SPACE") << "down to the first letter";
    EXPECT_STREQ(BindingName(0x00010028), "RETURN") << "only bits 0-7 name the key";
    EXPECT_STREQ(BindingName(0), "UNKNOWN") << "scancode 0 has no name";
    EXPECT_STREQ(BindingName(0x40000003), "J0 BUTTON 3");
    EXPECT_STREQ(BindingName(0x400F00FF), "J15 BUTTON 255");
    EXPECT_STREQ(BindingName(0x80010000), "J1 AXIS 0 -");
    EXPECT_STREQ(BindingName(0x80008001), "J0 AXIS 1 +");
    EXPECT_STREQ(BindingName(0xC0000028), "UNKNOWN") << "kind 3 is never produced";
    EXPECT_STREQ(BindingName(0xFFFFFFFF), "UNKNOWN");
}

TEST_F(Bindings, ScanTakesTheFirstInputInItsOrder) {
    Attach(2, 4, 2);
    EXPECT_EQ(ScanBinding(), 0u) << "nothing held";

    Fakes[1].button[2] = 1;
    EXPECT_EQ(ScanBinding(), 0x40010002u);
    Fakes[0].axis[1] = 20000;
    EXPECT_EQ(ScanBinding(), 0x80008001u) << "a lower joystick beats a higher one";
    Fakes[0].button[3] = 1;
    EXPECT_EQ(ScanBinding(), 0x40000003u) << "buttons before axes";
    Keys[7] = 1;
    Keys[4] = 1;
    EXPECT_EQ(ScanBinding(), 4u) << "a key beats everything, the lowest first";
    Keys[7] = Keys[4] = 0;
    Fakes[0].button[3] = 0;
    Fakes[1].button[2] = 0;
    Fakes[0].axis[1] = 0;

    // The axis threshold: strictly beyond 3,200 either way.
    Fakes[1].axis[0] = -3200;
    EXPECT_EQ(ScanBinding(), 0u);
    Fakes[1].axis[0] = 3200;
    EXPECT_EQ(ScanBinding(), 0u);
    Fakes[1].axis[0] = -3201;
    EXPECT_EQ(ScanBinding(), 0x80010000u);
    Fakes[1].axis[0] = 3201;
    EXPECT_EQ(ScanBinding(), 0x80018000u);
    Fakes[1].axis[0] = -32768;
    EXPECT_EQ(ScanBinding(), 0x80010000u);
}

TEST_F(Bindings, HeldTestFollowsTheBoundInputOnly) {
    Attach(1, 2, 2);
    Keys[0x1B] = 1;
    EXPECT_TRUE(IsBindingPressed(0x1B));
    EXPECT_FALSE(IsBindingPressed(0x1D));
    EXPECT_FALSE(IsBindingPressed(0xC000001B)) << "kind 3 is never held";

    Fakes[0].button[1] = 1;
    EXPECT_TRUE(IsBindingPressed(0x40000001));
    EXPECT_FALSE(IsBindingPressed(0x40000000));

    for (const Sint16 v : {Sint16(-3200), Sint16(0), Sint16(3200)}) {
        Fakes[0].axis[0] = v;
        EXPECT_FALSE(IsBindingPressed(0x80000000)) << v;
        EXPECT_FALSE(IsBindingPressed(0x80008000)) << v;
    }
    Fakes[0].axis[0] = -3201;
    EXPECT_TRUE(IsBindingPressed(0x80000000));
    EXPECT_FALSE(IsBindingPressed(0x80008000));
    Fakes[0].axis[0] = 3201;
    EXPECT_TRUE(IsBindingPressed(0x80008000));
    EXPECT_FALSE(IsBindingPressed(0x80000000));
    Fakes[0].axis[0] = -32768; // its negation does not fit 16 bits
    EXPECT_TRUE(IsBindingPressed(0x80000000));
    EXPECT_FALSE(IsBindingPressed(0x80008000));
}

TEST_F(Bindings, JoysticksBeyondTheTableOrNeverOpenedAreNeverHeld) {
    FailOpen[1] = true;
    for (FakeJoystick& stick : Fakes) {
        stick.buttons = 1;
        stick.button[0] = 1;
    }
    Attach(FakeJoystickSlots, 1, 0);
    EXPECT_EQ(JoystickCount, MaxJoysticks);
    EXPECT_NE(Joysticks[15], nullptr);
    EXPECT_EQ(Joysticks[1], nullptr);

    EXPECT_TRUE(IsBindingPressed(0x40000000));
    EXPECT_FALSE(IsBindingPressed(0x40010000)) << "the open failed";
    EXPECT_TRUE(IsBindingPressed(0x400F0000));
    EXPECT_FALSE(IsBindingPressed(0x40100000)) << "joystick 16 is past the table";
    EXPECT_FALSE(IsBindingPressed(0x40FF0000));
    EXPECT_FALSE(IsBindingPressed(0x80FF8000));

    // The scan passes over the failed one and never reaches 16 and up.
    for (int i = 0; i < FakeJoystickSlots; i++)
        Fakes[i].button[0] = i >= 16 || i == 1;
    EXPECT_EQ(ScanBinding(), 0u);
    Fakes[2].button[0] = 1;
    EXPECT_EQ(ScanBinding(), 0x40020000u);

    // A joystick with more than 256 buttons: the codes would not fit.
    Fakes[2].button[0] = 0;
    Fakes[3].buttons = FakeIndexLimit;
    Fakes[3].button[0] = 0;
    Fakes[3].button[260] = 1;
    EXPECT_EQ(ScanBinding(), 0u);
}

// Left Ctrl, the right-hand keys, and the high buttons and axes of large
// joysticks live in the upper half of a code's eight bits.
TEST_F(Bindings, IndicesUpTo255AreTakenAndHeldAndLargerOnesNever) {
    Attach(1, FakeIndexLimit, FakeIndexLimit);
    struct Kind {
        BindingCode base;
        void (*hold)(int index, bool held);
    };
    const Kind kinds[] = {{0, [](int i, bool held) { Keys[i] = held; }},
                          {0x40000000, [](int i, bool held) { Fakes[0].button[i] = held; }},
                          {0x80008000, [](int i, bool held) { Fakes[0].axis[i] = held ? 20000 : 0; }}};
    for (const Kind& k : kinds) {
        for (int index : {0xE0, 0xFF}) {
            const BindingCode code = k.base | BindingCode(index);
            k.hold(index, true);
            EXPECT_EQ(ScanBinding(), code);
            EXPECT_TRUE(IsBindingPressed(code)) << std::hex << code;
            k.hold(index, false);
            EXPECT_FALSE(IsBindingPressed(code)) << std::hex << code;
        }
        // Past the eight bits the scan keeps waiting rather than take the
        // code of index 0.
        k.hold(256, true);
        EXPECT_EQ(ScanBinding(), 0u) << std::hex << k.base;
        k.hold(256, false);
    }
}

TEST_F(Bindings, PadBitsFollowTheirBindings) {
    struct Case {
        BindingCode* binding;
        uint8_t mask;
    };
    const Case cases[] = {{&Config.ButtonLeft, 0x40},   {&Config.ButtonRight, 0x80},
                          {&Config.ButtonUp, 0x10},     {&Config.ButtonDown, 0x20},
                          {&Config.ButtonSelect, 0x04}, {&Config.ButtonStart, 0x08},
                          {&Config.ButtonB, 0x02},      {&Config.ButtonA, 0x01}};
    for (const Case& c : cases) {
        Keys[*c.binding & 0xFF] = 1;
        UpdatePad();
        EXPECT_EQ(machine.PadState, c.mask) << int(c.mask);
        Keys[*c.binding & 0xFF] = 0;
        UpdatePad();
        EXPECT_EQ(machine.PadState, 0);
    }

    // Nothing is filtered: opposite directions together, and one input
    // bound to two buttons sets both.
    Keys[0x50] = Keys[0x4F] = 1;
    UpdatePad();
    EXPECT_EQ(machine.PadState, 0xC0);
    Keys[0x50] = Keys[0x4F] = 0;
    Config.ButtonB = Config.ButtonA;
    Keys[Config.ButtonA] = 1;
    UpdatePad();
    EXPECT_EQ(machine.PadState, 0x03);

    SetPadBit(0x80, true);
    EXPECT_EQ(machine.PadState, 0x83);
    SetPadBit(0x01, false);
    EXPECT_EQ(machine.PadState, 0x82);
}

TEST_F(Bindings, AltReturnFreezesThePadAndCaptureTakesTheInput) {
    Keys[40] = 1; // Return, the Start binding
    ReadControls();
    EXPECT_EQ(machine.PadState, 0x08);

    Keys[40] = 0;
    Keys[226] = 1; // left Alt alone changes nothing
    ReadControls();
    EXPECT_EQ(machine.PadState, 0x00);

    Keys[40] = 1;
    Keys[0x1B] = 1; // A pressed during the chord is not seen either
    ReadControls();
    EXPECT_EQ(machine.PadState, 0x00) << "held as it was while Alt+Return is down";
    Keys[226] = 0;
    Keys[230] = 1; // right Alt
    ReadControls();
    EXPECT_EQ(machine.PadState, 0x00);
    Keys[230] = 0;
    ReadControls();
    EXPECT_EQ(machine.PadState, 0x09);

    // While a capture is pending the pad keeps its byte and the first input
    // goes to the row being captured.
    std::memset(Keys, 0, sizeof Keys);
    const int32_t rows[8] = {2, 3, 4, 5, 6, 7, 8, 9};
    std::memcpy(Host.BindingRowItems, rows, sizeof rows);
    Host.CapturePending = true;
    Host.CaptureItem = 9; // the A row
    ReadControls();
    EXPECT_EQ(machine.PadState, 0x09);
    EXPECT_EQ(Config.ButtonA, 0x1Bu) << "nothing held: still waiting";
    Keys[0x0E] = 1; // K
    Host.CapturePending = true;
    ReadControls();
    EXPECT_EQ(Config.ButtonA, 0x0Eu);
    EXPECT_EQ(machine.PadState, 0x09);
    Host.CapturePending = true;
    Host.CaptureItem = 2; // the Up row
    ReadControls();
    EXPECT_EQ(Config.ButtonUp, 0x0Eu);
    EXPECT_EQ(Config.ButtonA, 0x0Eu);
}

} // namespace
