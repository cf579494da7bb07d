#include "dialogue/number_io.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

#include "dialogue/decimal.hpp"

namespace dialogue {
namespace {

using traits = std::istream::traits_type;

// Takes characters from the stream's buffer one at a time, remembering whether the end was reached.
// Nothing is kept: each character is handed on as it is taken.
class scanner {
  public:
    explicit scanner(std::istream& in) : buffer_(in.rdbuf()) {}

    // Takes the next character if it is `wanted`.
    bool take(char wanted) {
        if (peek() != traits::to_int_type(wanted)) return false;
        buffer_->sbumpc();
        return true;
    }

    // Takes an optional sign; true when it is a minus.
    bool take_sign() {
        if (take('-')) return true;
        take('+');
        return false;
    }

    // Takes the decimal digits that come next, handing each to `digit` (0-9); returns how many.
    template <class Digit>
    std::uint64_t take_digits(Digit digit) {
        std::uint64_t count = 0;
        for (traits::int_type c = peek(); c >= '0' && c <= '9'; c = peek()) {
            digit(static_cast<int>(c - '0'));
            buffer_->sbumpc();
            ++count;
        }
        return count;
    }

    bool at_end() const { return at_end_; }

  private:
    traits::int_type peek() {
        const traits::int_type c = buffer_->sgetc();
        if (traits::eq_int_type(c, traits::eof())) at_end_ = true;
        return c;
    }

    std::streambuf* buffer_;
    bool at_end_ = false;
};

// Past 10^18 (in either direction) every exponent gives infinity or zero; the sums stay far from
// the 64-bit limits.
constexpr std::int64_t exponent_ceiling = 1'000'000'000'000'000'000;

std::int64_t saturated(std::int64_t value) {
    return std::clamp(value, -exponent_ceiling, exponent_ceiling);
}

// A decimal magnitude as 0.d1d2d3… × 10^exponent: its first significant digits (none for zero), and
// whether any digit after those is not zero. Two magnitudes compare exactly by exponent, then
// digits, then that flag; and rounding the kept digits with a non-zero digit put after them gives
// the same single as the whole number, as long as every threshold and every halfway point between
// two singles has no more significant digits than are kept. 2^-149 has 105 and the longest halfway
// points 113.
constexpr std::size_t kept_digits = 128;

struct decimal_magnitude {
    std::string digits;  // at most kept_digits, no leading or trailing zeros
    std::int64_t exponent = 0;
    bool more_beyond = false;  // a non-zero digit after the kept ones
};

// Reads digits, an optional point and digits, and an optional exponent; false when the number is
// incomplete. Leading zeros and dropped digits cost nothing but their count.
bool scan_magnitude(scanner& scan, decimal_magnitude& m) {
    bool after_point = false;
    const auto digit = [&](int d) {
        if (m.digits.empty() && d == 0) {
            if (after_point) m.exponent = saturated(m.exponent - 1);  // between point and digits
            return;
        }
        if (!after_point) m.exponent = saturated(m.exponent + 1);
        if (m.digits.size() < kept_digits) {
            m.digits += static_cast<char>('0' + d);
        } else if (d != 0) {
            m.more_beyond = true;
        }
    };
    std::uint64_t count = scan.take_digits(digit);
    if (scan.take('.')) {
        after_point = true;
        count += scan.take_digits(digit);
    }
    if (count == 0) return false;
    if (scan.take('e') || scan.take('E')) {
        const bool negative = scan.take_sign();
        std::int64_t power = 0;
        const auto exponent_digit = [&power](int d) {
            power = power > exponent_ceiling / 10 ? exponent_ceiling
                                                  : std::min(power * 10 + d, exponent_ceiling);
        };
        if (scan.take_digits(exponent_digit) == 0) return false;
        m.exponent = saturated(m.exponent + (negative ? -power : power));
    }
    while (!m.digits.empty() && m.digits.back() == '0') m.digits.pop_back();
    if (m.digits.empty()) m = decimal_magnitude{};
    return true;
}

bool below(const decimal_magnitude& a, const decimal_magnitude& b) {
    if (a.digits.empty() || b.digits.empty()) return a.digits.empty() && !b.digits.empty();
    if (a.exponent != b.exponent) return a.exponent < b.exponent;
    if (a.digits != b.digits) return a.digits < b.digits;  // a proper prefix is the smaller value
    return !a.more_beyond && b.more_beyond;
}

// 2^128 and 2^-149, exactly.
const decimal_magnitude two_to_128 = {"340282366920938463463374607431768211456", 39};
const decimal_magnitude two_to_minus_149 = {
    "140129846432481707092372958328991613128026194187651577175706828388979108268586060148663818836"
    "212158203125",
    -44};

// The single-precision value of a magnitude. The range decisions compare the exact decimal value
// with the thresholds; inside the range it is rounded to nearest, exactly.
float single_magnitude(const decimal_magnitude& exact) {
    if (!below(exact, two_to_128)) return std::numeric_limits<float>::infinity();
    if (below(exact, two_to_minus_149)) return 0.0F;
    return nearest_single(exact.digits, exact.exponent, exact.more_beyond);
}

void finish(std::istream& in, const scanner& scan, bool ok) {
    std::ios_base::iostate state = std::ios_base::goodbit;
    if (!ok) state |= std::ios_base::failbit;
    if (scan.at_end()) state |= std::ios_base::eofbit;
    if (state != std::ios_base::goodbit) in.setstate(state);
}

}  // namespace

std::istream& read_number(std::istream& in, float& value) {
    // The sentry flushes the tied output, skips white space and fails at once on a stream that is
    // not good.
    const std::istream::sentry ready(in);
    if (!ready) return in;
    scanner scan(in);
    const bool negative = scan.take_sign();
    decimal_magnitude magnitude;
    const bool ok = scan_magnitude(scan, magnitude);
    if (ok) {
        const float single = single_magnitude(magnitude);
        value = negative ? -single : single;
    }
    finish(in, scan, ok);
    return in;
}

std::istream& read_number(std::istream& in, std::uint32_t& value) {
    const std::istream::sentry ready(in);
    if (!ready) return in;
    scanner scan(in);
    const bool negative = scan.take_sign();
    // Past 4294967295 the value no longer matters, only that it is too large.
    constexpr std::uint64_t largest = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t number = 0;
    const std::uint64_t digits = scan.take_digits([&number](int d) {
        if (number <= largest) number = number * 10 + static_cast<std::uint64_t>(d);
    });
    const bool ok = digits > 0 && number <= largest && !(negative && number != 0);
    if (ok) value = static_cast<std::uint32_t>(number);
    finish(in, scan, ok);
    return in;
}

std::string number_text(double value) {
    if (std::isinf(value)) return value > 0 ? "+INF" : "-INF";
    if (std::isnan(value)) return std::signbit(value) ? "-NAN" : "+NAN";
    return general_six(value);
}

std::ostream& write_number(std::ostream& out, float value) {
    return out << number_text(value);
}

}  // namespace dialogue
