// The generator behind transaction numbers: a fixed start state, so every run of the program
// draws the same sequence, and integer arithmetic, so every machine draws the same values.
#pragma once

#include <cstdint>

namespace ledger {

class Rnd {
public:
    // Next value in [0, 1), exactly representable as a float.
    float next()
    {
        m_state = (m_state * 1140671485u + 12820163u) & 0xFFFFFFu;
        return static_cast<float>(m_state) / 16777216.0f;
    }

private:
    std::uint32_t m_state = 327680u;
};

} // namespace ledger
