// The extended precision the equation and the iteration compute in: the x87 80-bit format, as
// the hardware's long double where it is that format, or as the program's own software type
// (NEWTON_SOFTWARE_EXTENDED) on every other processor. Both give the same bits.
#pragma once

#include <cmath>
#include <limits>

#include "equation/soft_extended.hpp"

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

}  // namespace equation
