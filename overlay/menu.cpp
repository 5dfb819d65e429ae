// Configuration menu: to be written.
#include "overlay/menu.h"

void BuildMenu() {}
void OnBindingRow(int32_t) {}
void OnVideoChoice(int32_t) {}
bool EndCapture() { return false; }
