// The configuration menu: a heading, eight binding rows that show and capture
// the controller bindings, and the five video choices.
#include "overlay/menu.h"

#include <cstring>

#include "host/host.h"
#include "host/present.h"
#include "overlay/settings.h"
#include "overlay/toolkit.h"

constexpr int32_t PanelWidth = 256;
constexpr int32_t PanelHeight = 160;
constexpr int BindingRows = 8;
constexpr int ScaleChoices = 4; // 1x..4x come first, FULL last

constexpr uint32_t HeadingColour = 0x80FF80; // light green
constexpr uint32_t SectionColour = 0x80FFFF; // light yellow
constexpr uint32_t EntryColour = 0xFFFFFF;

struct MenuEntry {
    const char* Label;
    int32_t Kind;
    int32_t X, Y;
    uint32_t Colour;
    OverlayCallback Callback;
};

// The binding labels are all seven characters, right-aligned, so that every
// binding name starts in the same column. Rows come in the order of
// `BindingRowItems`, choices in the order of `VideoChoiceItems`.
static const MenuEntry MenuEntries[] = {
    {"HALVENOR CONFIG", KindLabel, 20, 20, HeadingColour, nullptr},
    {"CONTROLS", KindLabel, 20, 40, SectionColour, nullptr},
    {"    UP:", KindBinding, 20, 60, EntryColour, OnBindingRow},
    {"  DOWN:", KindBinding, 20, 68, EntryColour, OnBindingRow},
    {"  LEFT:", KindBinding, 20, 76, EntryColour, OnBindingRow},
    {" RIGHT:", KindBinding, 20, 84, EntryColour, OnBindingRow},
    {"SELECT:", KindBinding, 20, 92, EntryColour, OnBindingRow},
    {" START:", KindBinding, 20, 100, EntryColour, OnBindingRow},
    {"     B:", KindBinding, 20, 108, EntryColour, OnBindingRow},
    {"     A:", KindBinding, 20, 116, EntryColour, OnBindingRow},
    {"VIDEO", KindLabel, 20, 132, SectionColour, nullptr},
    {"1x", KindChoice, 72, 132, EntryColour, OnVideoChoice},
    {"2x", KindChoice, 102, 132, EntryColour, OnVideoChoice},
    {"3x", KindChoice, 132, 132, EntryColour, OnVideoChoice},
    {"4x", KindChoice, 162, 132, EntryColour, OnVideoChoice},
    {"FULL", KindChoice, 192, 132, EntryColour, OnVideoChoice},
};

void BuildMenu() {
    Overlay.Pixels = Canvas;
    Overlay.Width = ScreenWidth;
    Overlay.Height = VisibleHeight;
    Overlay.PanelX = 0;
    Overlay.PanelY = 0;
    Overlay.PanelWidth = PanelWidth;
    Overlay.PanelHeight = PanelHeight;
    Overlay.OffsetX = 0;
    Overlay.OffsetY = 0;
    Overlay.BlinkCounter = 0;
    Overlay.Interactive = false;
    for (OverlayItem& item : Overlay.Items)
        item.Kind = KindFree;

    int rows = 0, choices = 0;
    for (const MenuEntry& entry : MenuEntries) {
        int32_t slot = AddItem(entry.Label, entry.Kind, entry.X, entry.Y, entry.Colour, entry.Callback);
        if (entry.Kind == KindBinding) Host.BindingRowItems[rows++] = slot;
        if (entry.Kind == KindChoice) Host.VideoChoiceItems[choices++] = slot;
    }
}

BindingCode* BindingOfRow(int32_t item) {
    // In the order of `BindingRowItems`.
    BindingCode* const bindings[BindingRows] = {
        &Config.ButtonUp,     &Config.ButtonDown,  &Config.ButtonLeft, &Config.ButtonRight,
        &Config.ButtonSelect, &Config.ButtonStart, &Config.ButtonB,    &Config.ButtonA};
    for (int row = 0; row < BindingRows; ++row)
        if (Host.BindingRowItems[row] == item) return bindings[row];
    return nullptr;
}

void OnBindingRow(int32_t value) {
    if ((value & NameQuery) != 0) {
        BindingCode* binding = BindingOfRow(value & ~NameQuery);
        if (binding == nullptr) return;
        // Cut to the buffer, always terminated.
        const char* name = BindingName(*binding);
        size_t length = strnlen(name, sizeof Overlay.NameBuffer - 1);
        memcpy(Overlay.NameBuffer, name, length);
        Overlay.NameBuffer[length] = '\0';
        return;
    }
    if (value < 0 || value >= OverlaySlots) return;
    // The overlay stops taking the pointer until the capture ends, so only
    // one row can capture at a time.
    Overlay.Items[value].Selected = true;
    Overlay.Interactive = false;
    Host.CapturePending = true;
    Host.CaptureItem = value;
}

bool EndCapture() {
    if (!Host.CapturePending) return false;
    Host.CapturePending = false;
    if (Host.CaptureItem >= 0 && Host.CaptureItem < OverlaySlots)
        Overlay.Items[Host.CaptureItem].Selected = false;
    Overlay.Interactive = true;
    return true;
}

void OnVideoChoice(int32_t slot) {
    for (int32_t scale = 1; scale <= ScaleChoices; ++scale) {
        if (Host.VideoChoiceItems[scale - 1] != slot) continue;
        if (!Config.Windowed) SetFullscreen(false);
        if (Config.Scale != scale) SetScale(scale);
        return;
    }
    // FULL: applied again even when already in full screen, where it changes
    // nothing visible.
    SetFullscreen(true);
}
