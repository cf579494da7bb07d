// The pieces the software extended type is built from: a value unpacked into sign, exponent and a
// 128-bit significand, the three binary formats it rounds to, and the one rounding function that
// every operation and conversion ends in.
#pragma once

#include <bit>
#include <cstdint>

#include "equation/soft_float/soft_extended.hpp"

namespace equation::soft {

__extension__ typedef unsigned __int128 u128;  // GCC and Clang on every 64-bit target

// In order of magnitude, NaN apart.
enum class kind { zero, finite, infinity, nan };

// The leading zero bits of a 128-bit word (128 for zero).
constexpr int leading_zeros(u128 x) {
    const auto high = static_cast<std::uint64_t>(x >> 64);
    return high != 0 ? std::countl_zero(high)
                     : 64 + std::countl_zero(static_cast<std::uint64_t>(x));
}

// A value: for a finite one, (-1)^negative × m × 2^(e - 127), m's top bit set, so that e is the
// exponent of its leading bit.
struct unpacked {
    kind what;
    bool negative;
    int e;
    u128 m;
};

// A binary format: its precision (the significand's bits, the leading one included), the exponent
// range of its normal numbers (of the leading bit), and its exponent bias.
struct format {
    int precision;
    int min_exponent;
    int max_exponent;
    int bias;
};
inline constexpr format extended_format{64, -16382, 16383, 16383};
inline constexpr format double_format{53, -1022, 1023, 1023};
inline constexpr format single_format{24, -126, 127, 127};

// A rounded value: for a finite one, (-1)^negative × kept × 2^q, kept below 2^precision; below
// 2^(precision - 1) it is a subnormal.
struct rounded {
    kind what;
    bool negative;
    int q;
    u128 kept;
};

// s × 2^q, s an integer below 2^64, unpacked.
constexpr unpacked from_integer(bool negative, std::uint64_t s, int q) {
    if (s == 0) return {kind::zero, negative, 0, 0};
    const int shift = std::countl_zero(s);
    return {kind::finite, negative, q + 63 - shift, static_cast<u128>(s << shift) << 64};
}

// Rounds the finite value (-1)^negative × m × 2^(e - 127) to nearest even in format `f`: to
// f.precision bits, fewer below the normal range, and to infinity above it. m need not be
// normalised; its lowest bit may stand for everything below it (a sticky bit), as long as it lies
// at least two places below the rounding point.
constexpr rounded round(const format& f, bool negative, int e, u128 m) {
    if (m == 0) return {kind::zero, negative, 0, 0};
    const int leading = leading_zeros(m);
    m <<= leading;
    e -= leading;
    int drop = 128 - f.precision;  // bits below the last one kept
    int q = e - (f.precision - 1);
    if (e < f.min_exponent) {  // subnormal: the last bit kept is the format's smallest
        drop += f.min_exponent - e;
        q = f.min_exponent - (f.precision - 1);
    }
    if (drop > 128) return {kind::zero, negative, 0, 0};  // below half the smallest subnormal
    u128 kept = 0;
    bool up = false;
    if (drop == 128) {  // at least half the smallest subnormal: up unless exactly half
        up = (m << 1) != 0;
    } else {
        kept = m >> drop;
        const u128 rest = m & ((u128{1} << drop) - 1);
        const u128 half = u128{1} << (drop - 1);
        up = rest > half || (rest == half && (kept & 1) != 0);
    }
    if (up) ++kept;
    if (kept >> f.precision != 0) {  // rounded up to the next power of two
        kept >>= 1;
        ++q;
    }
    if (kept == 0) return {kind::zero, negative, 0, 0};
    const int leading_bit = q + 127 - leading_zeros(kept);
    if (leading_bit > f.max_exponent) return {kind::infinity, negative, 0, 0};
    return {kind::finite, negative, q, kept};
}

constexpr rounded round(const format& f, const unpacked& value) {
    if (value.what != kind::finite) return {value.what, value.negative, 0, 0};
    return round(f, value.negative, value.e, value.m);
}

// IEEE single and double, from and to their bits.
constexpr unpacked unpack_ieee(std::uint64_t bits, int fraction_bits, int exponent_bits, int bias) {
    const bool negative = (bits >> (fraction_bits + exponent_bits)) != 0;
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << fraction_bits) - 1);
    const auto biased =
        static_cast<int>((bits >> fraction_bits) & ((std::uint64_t{1} << exponent_bits) - 1));
    if (biased == (1 << exponent_bits) - 1) {
        return {fraction == 0 ? kind::infinity : kind::nan, negative, 0, 0};
    }
    if (biased == 0) return from_integer(negative, fraction, 1 - bias - fraction_bits);
    return from_integer(negative, fraction | (std::uint64_t{1} << fraction_bits),
                        biased - bias - fraction_bits);
}

constexpr std::uint64_t pack_ieee(const rounded& r, int fraction_bits, int exponent_bits,
                                  int bias) {
    const std::uint64_t sign = r.negative ? std::uint64_t{1} << (fraction_bits + exponent_bits) : 0;
    const std::uint64_t all_ones = (std::uint64_t{1} << exponent_bits) - 1;
    switch (r.what) {
        case kind::zero:
            return sign;
        case kind::infinity:
            return sign | (all_ones << fraction_bits);
        case kind::nan:
            return sign | (all_ones << fraction_bits) | (std::uint64_t{1} << (fraction_bits - 1));
        case kind::finite:
            break;
    }
    const auto kept = static_cast<std::uint64_t>(r.kept);
    const std::uint64_t hidden = std::uint64_t{1} << fraction_bits;
    if (kept < hidden) return sign | kept;  // subnormal
    const auto biased = static_cast<std::uint64_t>(r.q + fraction_bits + bias);
    return sign | (biased << fraction_bits) | (kept - hidden);
}

inline unpacked unpack_single(float value) {
    return unpack_ieee(std::bit_cast<std::uint32_t>(value), 23, 8, 127);
}
inline unpacked unpack_double(double value) {
    return unpack_ieee(std::bit_cast<std::uint64_t>(value), 52, 11, 1023);
}
inline float pack_single(const rounded& r) {
    return std::bit_cast<float>(static_cast<std::uint32_t>(pack_ieee(r, 23, 8, 127)));
}
inline double pack_double(const rounded& r) {
    return std::bit_cast<double>(pack_ieee(r, 52, 11, 1023));
}

// The extended format's bits of a rounded value (the x87 default NaN for a NaN).
soft_extended pack_extended(const rounded& r);

}  // namespace equation::soft
