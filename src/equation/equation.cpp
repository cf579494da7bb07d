#include "equation/equation.hpp"

#include "equation/exponential.hpp"

// Each line below is one extended-precision operation, in the order that fixes the result's bits.
// The exponential is evaluated in each function on its own; nothing is shared between them.

namespace equation {

long double F(float x) {
    const double a = -static_cast<double>(x);  // exact
    const long double e = exponential(a);
    const long double t = e * static_cast<long double>(two);
    const long double s = (static_cast<long double>(point_two) * x) * x;
    return (t + s) - static_cast<long double>(one_and_a_half);
}

long double dF(float x) {
    const double a = -static_cast<double>(x);
    const long double e = exponential(a);
    const long double t = e * static_cast<long double>(minus_two);
    return t + static_cast<long double>(point_four) * x;
}

}  // namespace equation
