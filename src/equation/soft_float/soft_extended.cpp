#include "equation/soft_float/soft_extended.hpp"

#include <utility>

#include "equation/soft_float/soft_rounding.hpp"

// Every operation ends in soft::round: it computes its exact result, or the exact result's leading
// 128 bits with the rest folded into the lowest bit (which then sits far below the rounding point),
// and hands it over.

namespace equation {
namespace {

using soft::u128;
using soft::unpacked;

// The x87 default NaN ("real indefinite"), the result of an invalid operation.
constexpr soft_extended indefinite = soft_extended::from_bits(0xFFFF, 0xC000000000000000U);

soft_extended infinity(bool negative) {
    return soft_extended::from_bits(negative ? 0xFFFF : 0x7FFF, 0x8000000000000000U);
}

soft_extended zero(bool negative) {
    return soft_extended::from_bits(negative ? 0x8000 : 0, 0);
}

unpacked unpack(soft_extended value) {
    const unsigned biased = value.sign_exponent() & 0x7FFFU;
    const bool negative = (value.sign_exponent() & 0x8000U) != 0;
    const std::uint64_t significand = value.significand();
    if (biased == 0x7FFF) {
        return {(significand << 1) == 0 ? soft::kind::infinity : soft::kind::nan, negative, 0, 0};
    }
    // A denormal has the smallest normal exponent, without the integer bit.
    const int exponent = (biased == 0 ? 1 : static_cast<int>(biased)) - soft::extended_format.bias;
    return soft::from_integer(negative, significand, exponent - 63);
}

}  // namespace

soft_extended soft::pack_extended(const rounded& result) {
    switch (result.what) {
        case soft::kind::zero:
            return zero(result.negative);
        case soft::kind::infinity:
            return infinity(result.negative);
        case soft::kind::nan:
            return indefinite;
        case soft::kind::finite:
            break;
    }
    const bool normal = result.kept >> 63 != 0;
    const int biased = normal ? result.q + 63 + soft::extended_format.bias : 0;
    return soft_extended::from_bits(
        static_cast<std::uint16_t>((result.negative ? 0x8000 : 0) | biased),
        static_cast<std::uint64_t>(result.kept));
}

namespace {

soft_extended rounded(bool negative, int e, u128 m) {
    return soft::pack_extended(soft::round(soft::extended_format, negative, e, m));
}

// x >> count, with every bit shifted out folded into the lowest bit.
u128 shift_right_jam(u128 x, int count) {
    if (count == 0) return x;
    if (count >= 128) return x != 0 ? 1 : 0;
    return (x >> count) | ((x << (128 - count)) != 0 ? 1 : 0);
}

bool magnitude_below(const unpacked& a, const unpacked& b) {
    return a.e != b.e ? a.e < b.e : a.m < b.m;
}

}  // namespace

soft_extended::soft_extended(float value) {
    *this = soft::pack_extended(soft::round(soft::extended_format, soft::unpack_single(value)));
}

soft_extended::soft_extended(double value) {
    *this = soft::pack_extended(soft::round(soft::extended_format, soft::unpack_double(value)));
}

soft_extended::operator float() const {
    return soft::pack_single(soft::round(soft::single_format, unpack(*this)));
}

soft_extended::operator double() const {
    return soft::pack_double(soft::round(soft::double_format, unpack(*this)));
}

soft_extended operator+(soft_extended a_value, soft_extended b_value) {
    unpacked a = unpack(a_value);
    unpacked b = unpack(b_value);
    if (a.what == soft::kind::nan || b.what == soft::kind::nan) return indefinite;
    if (a.what == soft::kind::infinity || b.what == soft::kind::infinity) {
        if (a.what == soft::kind::infinity && b.what == soft::kind::infinity &&
            a.negative != b.negative) {
            return indefinite;
        }
        return infinity(a.what == soft::kind::infinity ? a.negative : b.negative);
    }
    if (a.what == soft::kind::zero && b.what == soft::kind::zero) {
        return zero(a.negative && b.negative);  // -0 only from -0 + -0, rounding to nearest
    }
    if (a.what == soft::kind::zero) return b_value;
    if (b.what == soft::kind::zero) return a_value;

    if (magnitude_below(a, b)) std::swap(a, b);
    // a's leading bit at 126 leaves room for a carry; b is aligned below it.
    const u128 larger = a.m >> 1;
    const u128 smaller = shift_right_jam(b.m >> 1, a.e - b.e);
    const u128 sum = a.negative == b.negative ? larger + smaller : larger - smaller;
    if (sum == 0) return zero(false);  // exact cancellation gives +0 when rounding to nearest
    const int shift = soft::leading_zeros(sum);
    return rounded(a.negative, a.e + 1 - shift, sum << shift);
}

soft_extended operator*(soft_extended a_value, soft_extended b_value) {
    const unpacked a = unpack(a_value);
    const unpacked b = unpack(b_value);
    const bool negative = a.negative != b.negative;
    if (a.what == soft::kind::nan || b.what == soft::kind::nan) return indefinite;
    if (a.what == soft::kind::infinity || b.what == soft::kind::infinity) {
        if (a.what == soft::kind::zero || b.what == soft::kind::zero) return indefinite;
        return infinity(negative);
    }
    if (a.what == soft::kind::zero || b.what == soft::kind::zero) return zero(negative);
    // Two 64-bit significands in [2^63, 2^64): their exact product is in [2^126, 2^128).
    const u128 product = (a.m >> 64) * (b.m >> 64);
    const bool carried = product >> 127 != 0;
    return rounded(negative, a.e + b.e + (carried ? 1 : 0), carried ? product : product << 1);
}

soft_extended operator/(soft_extended a_value, soft_extended b_value) {
    const unpacked a = unpack(a_value);
    const unpacked b = unpack(b_value);
    const bool negative = a.negative != b.negative;
    if (a.what == soft::kind::nan || b.what == soft::kind::nan) return indefinite;
    if (a.what == soft::kind::infinity) {
        return b.what == soft::kind::infinity ? indefinite : infinity(negative);
    }
    if (b.what == soft::kind::infinity) return zero(negative);
    if (b.what == soft::kind::zero)
        return a.what == soft::kind::zero ? indefinite : infinity(negative);
    if (a.what == soft::kind::zero) return zero(negative);
    // 65 bits of the quotient of the significands, and whether a remainder is left.
    const auto divisor = static_cast<std::uint64_t>(b.m >> 64);
    const u128 dividend = a.m;  // the significand times 2^64
    u128 quotient = dividend / divisor;
    u128 remainder = dividend % divisor;
    int e = a.e - b.e;
    if (quotient >> 64 == 0) {  // a's significand below b's: one more bit
        remainder <<= 1;
        quotient = (quotient << 1) | (remainder >= divisor ? 1 : 0);
        if (remainder >= divisor) remainder -= divisor;
        --e;
    }
    return rounded(negative, e, (quotient << 63) | (remainder != 0 ? 1 : 0));
}

std::partial_ordering operator<=>(soft_extended a_value, soft_extended b_value) {
    const unpacked a = unpack(a_value);
    const unpacked b = unpack(b_value);
    if (a.what == soft::kind::nan || b.what == soft::kind::nan) {
        return std::partial_ordering::unordered;
    }
    // Magnitudes order by class (zero, finite, infinity: the enumeration's order), then by
    // exponent and significand; the signs come after.
    const auto magnitude = [](const unpacked& v, const unpacked& w) -> std::strong_ordering {
        if (v.what != w.what) return v.what <=> w.what;
        if (v.what != soft::kind::finite) return std::strong_ordering::equal;
        return v.e != w.e ? v.e <=> w.e : v.m <=> w.m;
    };
    const bool a_zero = a.what == soft::kind::zero;
    const bool b_zero = b.what == soft::kind::zero;
    if (a_zero && b_zero) return std::partial_ordering::equivalent;
    const bool a_negative = a.negative && !a_zero;
    const bool b_negative = b.negative && !b_zero;
    if (a_negative != b_negative) {
        return a_negative ? std::partial_ordering::less : std::partial_ordering::greater;
    }
    return a_negative ? magnitude(b, a) : magnitude(a, b);
}

bool is_finite(soft_extended value) {
    return (value.sign_exponent() & 0x7FFFU) != 0x7FFF;
}

bool is_nan(soft_extended value) {
    return unpack(value).what == soft::kind::nan;
}

}  // namespace equation
