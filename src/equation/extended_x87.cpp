// What the x87 build's extended precision needs of the hardware: the C library's long double
// exponential, and the precision control at 64 bits.

#include <cmath>

#include "equation/extended.hpp"

namespace equation {

extended exp_extended(double a) {
    return std::exp(static_cast<long double>(a));
}

void use_extended_precision() {
    constexpr unsigned short precision_control = 0x0300;  // bits 8-9: 11 is 64 bits
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control |= precision_control;
    __asm__ volatile("fldcw %0" : : "m"(control));
}

}  // namespace equation
