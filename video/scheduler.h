// One whole video frame: processor budgets interleaved with the scanlines.
#pragma once

void run_frame();
