// The exponential used by the equation: range-checked on its double argument, computed in extended
// precision.
#pragma once

#include "equation/extended.hpp"

namespace equation {

// e^a in extended precision. Arguments of 709.7822265625 and more overflow: the result is +inf and
// an OVERFLOW report goes to the standard error device. Arguments of -708.39599609375 and less
// underflow: the result is 0, silently. The check reads only the sign and the upper 32 bits of a.
extended exponential(double a);

}  // namespace equation
