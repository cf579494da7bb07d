// The exponential of the software build: correctly rounded to the extended format.

#include "equation/extended.hpp"

namespace equation {

extended exp_extended(double a) {
    return soft_exp(a);
}

}  // namespace equation
