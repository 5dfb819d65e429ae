// Test helper: every sound field of the machine as one list, to see that an
// operation changed nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "core/machine.h"

inline std::vector<int64_t> sound_state() {
    constexpr auto relaxed = std::memory_order_relaxed;
    std::vector<int64_t> s;
    for (const ToneChannel& c : machine.channels)
        for (int64_t v : {int64_t(c.phase.load(relaxed)), int64_t(c.phase_step.load(relaxed)),
                          int64_t(c.wave_offset.load(relaxed)), int64_t(c.volume.load(relaxed)),
                          int64_t(c.target_volume.load(relaxed))})
            s.push_back(v);
    for (int64_t v :
         {int64_t(machine.pulse1_period), int64_t(machine.pulse2_period), int64_t(machine.triangle_period),
          int64_t(machine.noise_sample.load(relaxed)), int64_t(machine.noise_position.load(relaxed)),
          int64_t(machine.dmc_rate_reg.load(relaxed)), int64_t(machine.dmc_address_reg.load(relaxed)),
          int64_t(machine.dmc_length_reg.load(relaxed)), int64_t(machine.dmc_address.load(relaxed)),
          int64_t(machine.dmc_bytes_left.load(relaxed)), int64_t(machine.dmc_byte.load(relaxed)),
          int64_t(machine.dmc_bit.load(relaxed)), int64_t(machine.dmc_level.load(relaxed))})
        s.push_back(v);
    return s;
}
