#pragma once
// The cipher's initial P-array and S-boxes: the hexadecimal digits of pi, as the published
// definition fixes them.
#include <array>
#include <cstdint>

extern const std::array<uint32_t, 18> kBlowfishInitialP;
extern const std::array<std::array<uint32_t, 256>, 4> kBlowfishInitialS;
