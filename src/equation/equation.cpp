#include "equation/equation.hpp"

#include "equation/exponential.hpp"

// Each line below is one extended-precision operation, in the order that fixes the result's bits.
// The exponential is evaluated in each function on its own; nothing is shared between them.

namespace equation {

extended F(float x) {
    const double a = -static_cast<double>(x);  // exact
    const extended e = exponential(a);
    const extended t = e * extended(two);
    const extended s = (extended(point_two) * extended(x)) * extended(x);
    return (t + s) - extended(one_and_a_half);
}

extended dF(float x) {
    const double a = -static_cast<double>(x);
    const extended e = exponential(a);
    const extended t = e * extended(minus_two);
    return t + extended(point_four) * extended(x);
}

}  // namespace equation
