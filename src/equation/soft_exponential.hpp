// The software exponential, and its parts as its tests see them: the table of its fast evaluation,
// and each evaluation on its own.
#pragma once

#include <array>
#include <cstdint>

#include "equation/soft_float/soft_extended.hpp"

namespace equation {

// e^a correctly rounded to the extended format, for a finite double whose result is finite and
// not zero (the range check before it sees to that).
soft_extended soft_exp(double a);

}  // namespace equation

namespace equation::soft_exponential {

// 2^(j/32) for j = 0 … 31 in fixed point with 126 fraction bits, to nearest: the high and the low
// 64 bits.
extern const std::array<std::array<std::uint64_t, 2>, 32> powers_of_two;

// The evaluations soft_exp tries in turn, by their width: the fast one, then the slow ones.
enum class width { bits_128, bits_192, bits_384, bits_768 };

// e^a from one evaluation alone: its best estimate, whether or not its error bounds decided the
// rounding.
soft_extended evaluated(width in, double a);

}  // namespace equation::soft_exponential
