#include "equation/exponential.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "equation/math_error.hpp"

namespace equation {
namespace {

// Upper halves of the double thresholds: 0x40862E42 is 709.7822265625, 0x4086232B is
// 708.39599609375.
constexpr std::uint32_t range_check_high = 0x4086;  // |a| < 704 below this
constexpr std::uint32_t overflow_from = 0x2E42;
constexpr std::uint32_t underflow_from = 0x232B;

}  // namespace

extended exponential(double a) {
    // NaN carries through as NaN: its bits would otherwise pass for a huge argument.
    if (std::isnan(a)) return extended(a);

    const auto upper = static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(a) >> 32);
    const bool negative = (upper & 0x80000000U) != 0;
    const std::uint32_t high = (upper >> 16) & 0x7FFFU;
    if (high >= range_check_high) {
        const std::uint32_t middle = high > range_check_high ? 0xFFFFU : upper & 0xFFFFU;
        if (!negative && middle >= overflow_from) {
            return report_math_error({math_error_type::overflow, "exp", a, 0.0,
                                      extended(std::numeric_limits<double>::infinity())});
        }
        if (negative && middle >= underflow_from) {
            return report_math_error({math_error_type::underflow, "exp", a, 0.0, extended(0.0)});
        }
    }
    return exp_extended(a);
}

}  // namespace equation
