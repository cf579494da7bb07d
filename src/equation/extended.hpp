// The extended precision the equation and the iteration compute in: the x87 80-bit format, as
// the hardware's long double where it is that format, or as the program's own software type
// (NEWTON_SOFTWARE_EXTENDED) on every other processor. Their arithmetic gives the same bits; their
// exponentials differ for a few per cent of arguments, and every digit the program prints is the
// same.
#pragma once

#include <cmath>
#include <limits>

#include "equation/soft_float/soft_extended.hpp"

namespace equation {

#if NEWTON_SOFTWARE_EXTENDED
using extended = soft_extended;
#else
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double is not the x87 format here: build with NEWTON_SOFTWARE_EXTENDED");
using extended = long double;
inline bool is_finite(long double value) {
    return std::isfinite(value);
}
inline bool is_nan(long double value) {
    return std::isnan(value);
}
#endif

// e^a rounded to extended precision, with no range check: a must give a finite, nonzero result.
extended exp_extended(double a);

// Makes the hardware compute in extended precision where it is the x87 unit, whose precision
// control a C runtime may start at 53 bits; nothing to do for the software type. The program calls
// it first.
void use_extended_precision();

}  // namespace equation
