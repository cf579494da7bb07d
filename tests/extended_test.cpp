// The software extended type against the x87 unit, bit for bit: hand-picked operations first
// (ties, denormals, overflow, cancellation), then a million seeded random ones; and its exponential
// against correctly rounded values computed independently (Python's decimal module, 80 digits),
// with each of its evaluations on its own and its table checked in exact integer arithmetic.

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "equation/soft_exponential.hpp"
#include "equation/soft_float/soft_extended.hpp"

namespace {

using equation::soft_extended;

soft_extended soft(long double value) {
    std::uint64_t significand = 0;
    std::uint16_t sign_exponent = 0;
    std::memcpy(&significand, &value, sizeof significand);
    std::memcpy(&sign_exponent, reinterpret_cast<const char*>(&value) + 8, sizeof sign_exponent);
    return soft_extended::from_bits(sign_exponent, significand);
}

long double hardware(soft_extended value) {
    long double result = 0;
    const std::uint64_t significand = value.significand();
    const std::uint16_t sign_exponent = value.sign_exponent();
    std::memcpy(&result, &significand, sizeof significand);
    std::memcpy(reinterpret_cast<char*>(&result) + 8, &sign_exponent, sizeof sign_exponent);
    return result;
}

// The same bits, or both NaN.
testing::AssertionResult same(long double expected, soft_extended actual) {
    const soft_extended wanted = soft(expected);
    if (std::isnan(expected) ? equation::is_nan(actual)
                             : wanted.sign_exponent() == actual.sign_exponent() &&
                                   wanted.significand() == actual.significand()) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure()
           << "x87 " << std::hexfloat << expected << ", software " << hardware(actual);
}

// Every operation of the type on one pair, against the x87 unit.
void expect_like_x87(long double a, long double b) {
    SCOPED_TRACE(testing::Message() << std::hexfloat << a << " and " << b);
    const soft_extended x = soft(a);
    const soft_extended y = soft(b);
    EXPECT_TRUE(same(a + b, x + y));
    EXPECT_TRUE(same(a - b, x - y));
    EXPECT_TRUE(same(a * b, x * y));
    EXPECT_TRUE(same(a / b, x / y));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(static_cast<float>(a)),
              std::bit_cast<std::uint32_t>(static_cast<float>(x)));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(static_cast<double>(a)),
              std::bit_cast<std::uint64_t>(static_cast<double>(x)));
    EXPECT_EQ(a < b, x < y);
    EXPECT_EQ(a == b, x == y);
}

constexpr long double ulp_of_one = 0x1p-63L;
constexpr long double smallest_denormal = 0x1p-16445L;
constexpr long double largest = std::numeric_limits<long double>::max();
constexpr long double infinity = std::numeric_limits<long double>::infinity();

TEST(SoftExtended, HandPickedOperationsGiveTheX87Bits) {
    const long double pairs[][2] = {
        {1, ulp_of_one / 2},               // a tie: to even, down
        {1 + ulp_of_one, ulp_of_one / 2},  // a tie: to even, up
        {1, ulp_of_one / 2 + 0x1p-120L},   // just above the tie
        {1, -ulp_of_one / 4},              // the borrow crosses a power of two
        {1 + ulp_of_one, 1},               // exact cancellation
        {-0.0L, 0.0L},                     // the signs of zero
        {-0.0L, -0.0L},
        {smallest_denormal, smallest_denormal},
        {0x1p-16382L, -smallest_denormal},  // from the smallest normal into the denormals
        {0x1.8p-16400L, 0x1p-50L},          // a product and quotient deep in the denormals
        {0x1.fffffffffffffffep-8000L, 0x1p-8445L},
        {largest, largest},  // overflow to infinity
        {largest, 0.5L},
        {infinity, -infinity},  // invalid: NaN
        {infinity, 0.0L},
        {1.0L, 0.0L},  // division by zero
        {1.0L, 3.0L},
        {2.0L, 3.0L},
        {0x1.fffffffffffffffep0L, 0x1.0000000000000002p0L},
        {0x1p-140L, 0x1.000000000000001p-140L},  // float and double denormals when rounded
        {0x1.fffffep127L, 0x1.fffffffp127L},     // rounding to float overflows
        {0x1.fffffffffffff8p1023L, 1.0L},        // rounding to double: a tie at the top
        {1 + 0x1p-24L + 0x1p-60L, 1.0L},   // to single just above a tie: through double, a tie
        {1, (1 + ulp_of_one) * 0x1p-65L},  // below the tie only by the bits shifted out
    };
    for (const auto& pair : pairs) expect_like_x87(pair[0], pair[1]);
}

TEST(SoftExtended, ConversionsAndAMillionRandomOperationsGiveTheX87Bits) {
    std::mt19937_64 random(20261209);
    // Significands with long runs of ones or zeros, exponents near 1, near the ends and anywhere.
    const auto any_value = [&random]() {
        std::uint64_t significand = random();
        if (random() % 4 == 0) significand |= 0xFFFFFFFFFF000000U;
        if (random() % 8 == 0) significand &= 0xFFFFFF0000000000U;
        const std::uint64_t pick = random() % 4;
        unsigned exponent = static_cast<unsigned>(random() % 32767);
        if (pick == 0) exponent = 16383 + static_cast<unsigned>(random() % 129) - 64;
        if (pick == 1) exponent = static_cast<unsigned>(random() % 80);
        significand = exponent == 0 ? significand >> 1 : significand | 0x8000000000000000U;
        const auto sign = static_cast<unsigned>(random() % 2) << 15;
        return hardware(
            soft_extended::from_bits(static_cast<std::uint16_t>(sign | exponent), significand));
    };
    for (int i = 0; i < 250'000; ++i) {
        const long double a = any_value();
        const long double b = random() % 8 == 0 ? a * (1 + ulp_of_one) : any_value();
        expect_like_x87(a, b);
        if (HasFailure()) return;
        const std::uint64_t bits = random();
        const auto d = std::bit_cast<double>(bits);
        const auto f = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        EXPECT_TRUE(same(static_cast<long double>(d), soft_extended(d)));
        EXPECT_TRUE(same(static_cast<long double>(f), soft_extended(f)));
    }
}

TEST(SoftExtended, TheExponentialIsCorrectlyRounded) {
    // e^a correctly rounded to 64 bits: exact, the ends of the range, arguments so small that
    // the result is 1 or just below, and four where the x87 build's expl is one unit off.
    struct exponential_case {
        double a;
        std::uint16_t sign_exponent;
        std::uint64_t significand;
    };
    const exponential_case cases[] = {
        {0.0, 0x3FFF, 0x8000000000000000U},
        {0x1p0, 0x4000, 0xADF85458A2BB4A9BU},
        {-0x1p0, 0x3FFD, 0xBC5AB1B16779BE35U},
        {0x1.62e3d70a3d70ap+9, 0x43FE, 0xFF4E72E26295A351U},   // 709.78
        {-0x1.6231eb851eb85p+9, 0x3C01, 0x80D2FFB76A4B5A4DU},  // -708.39
        {0x1p-70, 0x3FFF, 0x8000000000000000U},
        {-0x1p-65, 0x3FFF, 0x8000000000000000U},  // above the midpoint below 1
        {-0x1.0000000000001p-65, 0x3FFE, 0xFFFFFFFFFFFFFFFFU},
        {0x1.5d8191d6c0964p+9, 0x43EF, 0xB041713FB8774CD9U},
        {-0x1.753d52f5d62ddp+8, 0x3DE4, 0xB8B7028E9DC7F007U},
        {0x1.13a9818ae8737p+9, 0x431A, 0xA80DEB0DE6892E3FU},
        {0x1.bf68b2ccc5745p+7, 0x4141, 0xD56427E3202B4DD1U},
    };
    using equation::soft_exponential::evaluated;
    using equation::soft_exponential::width;
    for (const exponential_case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hexfloat << c.a);
        const soft_extended e = equation::soft_exp(c.a);
        EXPECT_EQ(e.sign_exponent(), c.sign_exponent);
        EXPECT_EQ(e.significand(), c.significand);
        // The slow evaluations, which the program reaches about once in 2^55 arguments, alone.
        for (const width in : {width::bits_192, width::bits_384, width::bits_768}) {
            const soft_extended slow = evaluated(in, c.a);
            EXPECT_EQ(slow.sign_exponent(), c.sign_exponent) << "width " << static_cast<int>(in);
            EXPECT_EQ(slow.significand(), c.significand) << "width " << static_cast<int>(in);
        }
    }
}

// A natural number in 32-bit words, least significant first: just enough to raise the table's
// entries to their 32nd power.
using natural = std::vector<std::uint32_t>;

natural times(const natural& a, const natural& b) {
    natural product(a.size() + b.size(), 0);
    for (std::size_t i = 0; i < a.size(); ++i) {
        std::uint64_t carry = 0;
        for (std::size_t j = 0; j < b.size(); ++j) {
            carry += std::uint64_t{a[i]} * b[j] + product[i + j];
            product[i + j] = static_cast<std::uint32_t>(carry);
            carry >>= 32;
        }
        product[i + b.size()] = static_cast<std::uint32_t>(carry);
    }
    return product;
}

int bit_length(const natural& a) {
    for (std::size_t i = a.size(); i-- > 0;) {
        if (a[i] != 0) return static_cast<int>(32 * i + std::bit_width(a[i]));
    }
    return 0;
}

// 2v + 1 or 2v - 1 for an entry v of 128 bits (v > 0).
natural odd_beside(const std::array<std::uint64_t, 2>& v, bool above) {
    const std::uint64_t high = v[0];
    const std::uint64_t low = v[1];
    natural n = {0, 0, 0, 0, static_cast<std::uint32_t>(high >> 63)};
    const std::uint64_t doubled_low = low << 1;
    const std::uint64_t doubled_high = (high << 1) | (low >> 63);
    n[0] = static_cast<std::uint32_t>(doubled_low);
    n[1] = static_cast<std::uint32_t>(doubled_low >> 32);
    n[2] = static_cast<std::uint32_t>(doubled_high);
    n[3] = static_cast<std::uint32_t>(doubled_high >> 32);
    if (above) {
        n[0] |= 1;  // the doubled value is even
    } else {
        for (std::uint32_t& word : n) {  // subtract 1, borrowing through zero words
            if (word-- != 0) break;
        }
    }
    return n;
}

TEST(SoftExtended, TheExponentialsTableIsToNearestAndEveryEntryIsReached) {
    // v is 2^(j/32) · 2^126 to nearest when (2v - 1)^32 < 2^(32 · 127 + j) < (2v + 1)^32; both
    // sides are odd and 2^p is not, so the test is one of bit lengths.
    const auto& table = equation::soft_exponential::powers_of_two;
    for (int j = 0; j < 32; ++j) {
        SCOPED_TRACE(testing::Message() << "2^(" << j << "/32)");
        natural below = odd_beside(table[static_cast<std::size_t>(j)], false);
        natural above = odd_beside(table[static_cast<std::size_t>(j)], true);
        for (int square = 0; square < 5; ++square) {
            below = times(below, below);
            above = times(above, above);
        }
        const int power = 32 * 127 + j;
        EXPECT_LE(bit_length(below), power);
        EXPECT_GT(bit_length(above), power);
    }
    // Arguments whose reduction picks each entry, across the reduced interval and at several
    // powers of two, against the slow evaluation, which has no table.
    using equation::soft_exponential::evaluated;
    using equation::soft_exponential::width;
    const double ln2_by_32 = 0.021660849392498291;
    for (int n = -20 * 32; n < 12 * 32; n += 13) {
        for (const double offset : {-0.45, -0.1, 0.0, 0.3, 0.49}) {
            const double a = (n + offset) * ln2_by_32;
            SCOPED_TRACE(testing::Message() << std::hexfloat << a);
            const soft_extended fast = equation::soft_exp(a);
            const soft_extended slow = evaluated(width::bits_384, a);
            EXPECT_EQ(fast.sign_exponent(), slow.sign_exponent());
            EXPECT_EQ(fast.significand(), slow.significand());
        }
    }
}

}  // namespace
