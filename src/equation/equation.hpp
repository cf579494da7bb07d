// The equation solved by the program: F(x) = 2·e^(−x) + 0.2·x² − 1.5, and its derivative.
#pragma once

#include "equation/extended.hpp"

namespace equation {

// Stored forms of the constants: 2, 1.5 and -2 as single, 0.2 and 0.4 as the nearest doubles.
inline constexpr float two = 2.0F;
inline constexpr double point_two = 0.2;
inline constexpr float one_and_a_half = 1.5F;
inline constexpr float minus_two = -2.0F;
inline constexpr double point_four = 0.4;

// F(x) in extended precision, never rounded inside; the caller chooses where to round.
extended F(float x);

// F'(x) = -2·e^(−x) + 0.4·x in extended precision.
extended dF(float x);

}  // namespace equation
