// The exponential of the x87 build: the C library's long double one.

#include <cmath>

#include "equation/extended.hpp"

namespace equation {

extended exp_extended(double a) {
    return std::exp(static_cast<long double>(a));
}

}  // namespace equation
