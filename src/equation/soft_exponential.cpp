// e^a correctly rounded to the extended format's 64 bits. A fast evaluation in 128-bit fixed point
// bounds its own error; when the bounds around it round to different extended values (about once
// in 2^55 arguments), a slower one in ever wider fixed point decides. e^a of a nonzero double is
// never exactly halfway between two extended values (it is transcendental), so the widening ends.

#include "equation/soft_exponential.hpp"

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "equation/soft_float/soft_extended.hpp"
#include "equation/soft_float/soft_rounding.hpp"

namespace equation {
namespace {

using soft::u128;

// A double as its integer significand and exponent: |a| = significand × 2^exponent.
struct double_parts {
    bool negative;
    std::uint64_t significand;
    int exponent;
};

double_parts parts_of(double a) {
    const auto bits = std::bit_cast<std::uint64_t>(a);
    const bool negative = bits >> 63 != 0;
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased == 0) return {negative, fraction, -1074};
    return {negative, fraction | (std::uint64_t{1} << 52), biased - 1075};
}

// The nearest integer to a double of moderate size, the same on every processor.
std::int64_t nearest_integer(double value) {
    const double shifted = value < 0 ? value - 0.5 : value + 0.5;
    return static_cast<std::int64_t>(shifted);  // truncation
}

// The value is somewhere between `low` and `high`, the roundings of the bounds of its error, and
// `middle` is its best estimate: when the bounds round alike, so does the value.
bool decided(const soft::rounded& low, const soft::rounded& high, const soft::rounded& middle,
             soft::rounded& result) {
    result = middle;
    return low.q == high.q && low.kept == high.kept;
}

// ---- The fast evaluation: 126 fraction bits. e^a = 2^k · 2^(j/32) · e^r, |r| <= ln 2 / 64.

constexpr int fraction_bits = 126;

// The high 128 bits of a 256-bit product.
u128 multiply_high(u128 a, u128 b) {
    const u128 a_low = static_cast<std::uint64_t>(a);
    const u128 a_high = a >> 64;
    const u128 b_low = static_cast<std::uint64_t>(b);
    const u128 b_high = b >> 64;
    const u128 low_low = a_low * b_low;
    const u128 high_low = a_high * b_low;
    const u128 low_high = a_low * b_high;
    const u128 middle = (low_low >> 64) + static_cast<std::uint64_t>(high_low) +
                        static_cast<std::uint64_t>(low_high);
    return a_high * b_high + (high_low >> 64) + (low_high >> 64) + (middle >> 64);
}

// a × b in the fixed point of 126 fraction bits, rounded down.
u128 fixed_multiply(u128 a, u128 b) {
    return (multiply_high(a, b) << (128 - fraction_bits)) | ((a * b) >> fraction_bits);
}

// 1/i! for i = 0 … 15, rounded down: the Taylor series of e^r to the 15th power leaves out less
// than 2^-137 for |r| <= ln 2 / 64.
constexpr std::array<u128, 16> inverse_factorials = [] {
    std::array<u128, 16> c{};
    std::uint64_t factorial = 1;
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (i > 1) factorial *= i;
        c[i] = (u128{1} << fraction_bits) / factorial;
    }
    return c;
}();

// ln 2 / 32 in this fixed point: ln 2 × 2^121 rounded down, and the next 64 bits.
constexpr u128 ln2_by_32 = (u128{0x0162E42FEFA39EF3U} << 64) | 0x5793C7673007E5EDU;
constexpr std::uint64_t ln2_by_32_below = 0x5E81E6864CE5316CU;

}  // namespace

// 2^(j/32) for j = 0 … 31, to nearest. exp_constants.py prints these and ln2_by_32.
// clang-format off
const std::array<std::array<std::uint64_t, 2>, 32> soft_exponential::powers_of_two = {{
    {0x4000000000000000U, 0x0000000000000000U}, {0x4166C34C5615D0EBU, 0x9F1523ADA3290600U},
    {0x42D561B3E6243D8AU, 0x62E4ADC610AA60D9U}, {0x444C0740496D4293U, 0xAEFC6BB64C633AB1U},
    {0x45CAE0F1F545EB73U, 0x7DF23143AC529E48U}, {0x47521CC5A2E6A9E0U, 0x16E00A2643C1EA63U},
    {0x48E1E9B9D588E19BU, 0x07EB6C70572D64ECU}, {0x4A7A77D47F7B84B0U, 0x97457D6892A8EF2AU},
    {0x4C1BF828C6DC54B7U, 0xA356918C17217B7BU}, {0x4DC69CDCEAA72A9CU, 0x51540BD151E61F90U},
    {0x4F7A993048D088D6U, 0xD0488F84F5DCFEE9U}, {0x513821818624B40CU, 0x4DBD0277C067EF54U},
    {0x52FF6B54D8A89C75U, 0x0E5EBFB10B88380EU}, {0x54D0AD5A753E077CU, 0x2A0F12761A98FD3AU},
    {0x56AC1F752150A563U, 0x24C054647ACD1762U}, {0x5891FAC0E95612C7U, 0xC3E81BF4B690AEC7U},
    {0x5A827999FCEF3242U, 0x2CBEC4D9BAA55F50U}, {0x5C7DD7A3B17DCF74U, 0x8DC3CBBC2B35B2D1U},
    {0x5E8451CFAC061B5FU, 0x54408FDB3687D7BDU}, {0x6096266533384A2BU, 0x3E22BEACD28043DBU},
    {0x62B39508AA836D6EU, 0x9F156864B26ECF9CU}, {0x64DCDEC3371793D1U, 0x4070FC950288B4BFU},
    {0x6712460A8FC24071U, 0xF11AC1C7CAF96377U}, {0x69540EC8F895722DU, 0x0912472BE1EF2014U},
    {0x6BA27E656B4EB57AU, 0x1CD345DCC8169FEFU}, {0x6DFDDBCBED791BAAU, 0x9EC206AD4F14D532U},
    {0x70666F76154A7088U, 0x832C4A8246E999E5U}, {0x72DC8373BE41A454U, 0x0F2F47A5276DD876U},
    {0x75606373EE921C97U, 0x6816BAD9B8372A7DU}, {0x77F25CCDEE6D7AE5U, 0xA32B0E7B4A46DC89U},
    {0x7A92BE8A92436616U, 0x3DCE863D76CC07E2U}, {0x7D41D96DB915019DU, 0x3E12DD8A18AEBFE6U},
}};
// clang-format on

namespace {

// Its error is below 20 units of the last place (the series 3, the reduction 3, the table and the
// products 14); the bound allows three times that.
constexpr u128 fast_error_bound = 64;

bool fast_exp(double a, soft::rounded& result) {
    const std::int64_t n = nearest_integer(a * 46.16624130844683);  // a × 32 / ln 2
    // |a| in the fixed point, modulo 2^128: the reduction below cancels all but |r|'s bits.
    const double_parts parts = parts_of(a);
    const int shift = parts.exponent + fraction_bits;
    u128 fixed_a = 0;
    if (shift >= 0 && shift < 128) fixed_a = u128{parts.significand} << shift;
    if (shift < 0 && shift > -64) fixed_a = parts.significand >> -shift;  // |a| < 2^-73
    if (parts.negative) fixed_a = -fixed_a;
    const auto n_magnitude = static_cast<std::uint64_t>(n < 0 ? -n : n);
    u128 reduction = n_magnitude * ln2_by_32 + ((u128{n_magnitude} * ln2_by_32_below) >> 64);
    if (n < 0) reduction = -reduction;
    const u128 r = fixed_a - reduction;  // two's complement, |r| <= ln 2 / 64 plus a little
    const bool r_negative = r >> 127 != 0;
    const u128 r_magnitude = r_negative ? -r : r;

    u128 series = inverse_factorials.back();
    for (std::size_t i = inverse_factorials.size() - 1; i-- > 0;) {
        const u128 term = fixed_multiply(series, r_magnitude);
        series = r_negative ? inverse_factorials[i] - term : inverse_factorials[i] + term;
    }
    const std::int64_t k = n >= 0 ? n / 32 : -((-n + 31) / 32);  // rounded down
    const auto j = static_cast<std::size_t>(n - 32 * k);
    const auto& table = soft_exponential::powers_of_two;
    const u128 power = (u128{table[j][0]} << 64) | table[j][1];
    const u128 y = fixed_multiply(series, power);             // e^r · 2^(j/32), below 2^127.1
    const int e = static_cast<int>(k) + 127 - fraction_bits;  // y × 2^(e - 127)
    const auto rounded_at = [e](u128 value) {
        return soft::round(soft::extended_format, false, e, value);
    };
    return decided(rounded_at(y - fast_error_bound), rounded_at(y + fast_error_bound),
                   rounded_at(y), result);
}

// ---- The slow evaluation: `limbs` 64-bit words with 16 integer bits. e^a = 2^k · e^r, |r| <=
// ln 2 / 2, by the Taylor series, with ln 2 from its own series.

template <std::size_t limbs>
struct wide {
    std::array<std::uint64_t, limbs> word{};  // least significant first
    static constexpr int fraction = 64 * static_cast<int>(limbs) - 16;

    bool zero() const {
        for (const std::uint64_t w : word) {
            if (w != 0) return false;
        }
        return true;
    }
    friend bool operator<(const wide& a, const wide& b) {
        for (std::size_t i = limbs; i-- > 0;) {
            if (a.word[i] != b.word[i]) return a.word[i] < b.word[i];
        }
        return false;
    }
    friend wide operator+(const wide& a, const wide& b) {
        wide sum;
        u128 carry = 0;
        for (std::size_t i = 0; i < limbs; ++i) {
            carry += u128{a.word[i]} + b.word[i];
            sum.word[i] = static_cast<std::uint64_t>(carry);
            carry >>= 64;
        }
        return sum;
    }
    friend wide operator-(const wide& a, const wide& b) {  // a >= b
        wide difference;
        std::uint64_t borrow = 0;
        for (std::size_t i = 0; i < limbs; ++i) {
            const u128 subtrahend = u128{b.word[i]} + borrow;
            difference.word[i] = a.word[i] - static_cast<std::uint64_t>(subtrahend);
            borrow = u128{a.word[i]} < subtrahend ? 1 : 0;
        }
        return difference;
    }
    friend wide operator*(const wide& a, std::uint64_t small) {
        wide product;
        u128 carry = 0;
        for (std::size_t i = 0; i < limbs; ++i) {
            carry += u128{a.word[i]} * small;
            product.word[i] = static_cast<std::uint64_t>(carry);
            carry >>= 64;
        }
        return product;
    }
    friend wide operator/(const wide& a, std::uint64_t small) {  // rounded down
        wide quotient;
        u128 remainder = 0;
        for (std::size_t i = limbs; i-- > 0;) {
            remainder = (remainder << 64) | a.word[i];
            quotient.word[i] = static_cast<std::uint64_t>(remainder / small);
            remainder %= small;
        }
        return quotient;
    }
    // The fixed-point product, rounded down.
    friend wide operator*(const wide& a, const wide& b) {
        std::array<std::uint64_t, 2 * limbs> full{};
        for (std::size_t i = 0; i < limbs; ++i) {
            u128 carry = 0;
            for (std::size_t j = 0; j < limbs; ++j) {
                carry += u128{a.word[i]} * b.word[j] + full[i + j];
                full[i + j] = static_cast<std::uint64_t>(carry);
                carry >>= 64;
            }
            full[i + limbs] = static_cast<std::uint64_t>(carry);
        }
        // Bits from `fraction` up: limb limbs - 1 onwards, from its bit 48.
        wide product;
        for (std::size_t i = 0; i < limbs; ++i) {
            product.word[i] = (full[i + limbs - 1] >> 48) | (full[i + limbs] << 16);
        }
        return product;
    }
    static wide one() {
        wide value;
        value.word[limbs - 1] = std::uint64_t{1} << 48;
        return value;
    }
    static wide from(const double_parts& parts) {  // |a|, rounded down
        wide value;
        const int shift = parts.exponent + fraction;
        if (shift < 0) {
            if (shift > -64) value.word[0] = parts.significand >> -shift;
            return value;
        }
        const auto limb = static_cast<std::size_t>(shift / 64);
        const int bit = shift % 64;
        value.word[limb] = parts.significand << bit;
        if (bit != 0 && limb + 1 < limbs) value.word[limb + 1] = parts.significand >> (64 - bit);
        return value;
    }
    // The top 128 bits as round() takes them: the rest folded into the lowest bit, and the
    // exponent of the leading bit of the value, this × 2^-fraction. Not for zero.
    void leading(int& e, u128& m) const {
        std::size_t top = limbs;
        while (top > 1 && word[top - 1] == 0) --top;
        const int shift = std::countl_zero(word[top - 1]);
        const std::uint64_t w1 = top >= 2 ? word[top - 2] : 0;
        const std::uint64_t w0 = top >= 3 ? word[top - 3] : 0;
        const u128 high = (u128{word[top - 1]} << 64) | w1;
        const u128 value = shift == 0 ? high : (high << shift) | (w0 >> (64 - shift));
        bool rest = (shift == 0 ? w0 : w0 << shift) != 0;
        for (std::size_t i = 0; i + 3 < top; ++i) rest = rest || word[i] != 0;
        m = value | (rest ? 1 : 0);
        e = 64 * static_cast<int>(top) - 1 - shift - fraction;
    }
};

template <std::size_t limbs>
const wide<limbs>& ln2() {
    // ln 2 = 2 atanh(1/3) = 2 (t + t^3/3 + t^5/5 + …), t = 1/3.
    static const wide<limbs> value = [] {
        wide<limbs> power = wide<limbs>::one() / 3;
        wide<limbs> sum;
        for (std::uint64_t odd = 1; !power.zero(); odd += 2) {
            sum = sum + power / odd;
            power = power / 9;
        }
        return sum * 2;
    }();
    return value;
}

template <std::size_t limbs>
bool slow_exp(double a, soft::rounded& result) {
    using number = wide<limbs>;
    const std::int64_t k = nearest_integer(a * 1.4426950408889634);  // a / ln 2
    const auto k_magnitude = static_cast<std::uint64_t>(k < 0 ? -k : k);
    // r = a - k ln 2, as a sign and a magnitude.
    const number magnitude_a = number::from(parts_of(a));
    const number multiple = ln2<limbs>() * k_magnitude;
    const bool a_negative = a < 0;
    const bool k_negative = k < 0;
    number r;
    bool r_negative = false;
    if (a_negative == k_negative) {
        r_negative = magnitude_a < multiple ? !a_negative : a_negative;
        r = magnitude_a < multiple ? multiple - magnitude_a : magnitude_a - multiple;
    } else {
        r_negative = a_negative;
        r = magnitude_a + multiple;
    }
    number positive = number::one();
    number negative;
    number term = number::one();
    for (std::uint64_t i = 1; !term.zero(); ++i) {
        term = term * r / i;
        if (r_negative && i % 2 == 1) {
            negative = negative + term;
        } else {
            positive = positive + term;
        }
    }
    const number y = positive - negative;
    // Every error (ln 2 times up to 1100, the reduction, the series) stays below 2^24 units of
    // the last place; the bound allows 2^32, far below the top 128 bits that the rounding reads
    // (the last of them is worth 2^49 units or more).
    static_assert(limbs >= 3);
    number delta;
    delta.word[0] = std::uint64_t{1} << 32;
    const auto rounded_at = [k](const number& value) {
        int e = 0;
        u128 m = 0;
        value.leading(e, m);
        return soft::round(soft::extended_format, false, e + static_cast<int>(k), m);
    };
    return decided(rounded_at(y - delta), rounded_at(y + delta), rounded_at(y), result);
}

}  // namespace

soft_extended soft_exponential::evaluated(width in, double a) {
    soft::rounded result{};
    switch (in) {
        case width::bits_128:
            fast_exp(a, result);
            break;
        case width::bits_192:
            slow_exp<3>(a, result);
            break;
        case width::bits_384:
            slow_exp<6>(a, result);
            break;
        case width::bits_768:
            slow_exp<12>(a, result);
            break;
    }
    return soft::pack_extended(result);
}

soft_extended soft_exp(double a) {
    // Each evaluation leaves its estimate in `result`; should even 700 bits not decide (never
    // seen), the last estimate stands.
    soft::rounded result{};
    static_cast<void>(fast_exp(a, result) || slow_exp<3>(a, result) || slow_exp<6>(a, result) ||
                      slow_exp<12>(a, result));
    return soft::pack_extended(result);
}

}  // namespace equation
