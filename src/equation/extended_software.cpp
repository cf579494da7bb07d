// The software build's extended precision: the exponential correctly rounded to the extended
// format, and no hardware setting.

#include "equation/extended.hpp"
#include "equation/soft_exponential.hpp"

namespace equation {

extended exp_extended(double a) {
    return soft_exp(a);
}

void use_extended_precision() {}

}  // namespace equation
