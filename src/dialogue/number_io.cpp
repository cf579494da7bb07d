#include "dialogue/number_io.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <string_view>

namespace dialogue {
namespace {

using traits = std::istream::traits_type;

// Takes characters from the stream's buffer one at a time, remembering whether the end was reached.
class scanner {
  public:
    explicit scanner(std::istream& in) : buffer_(in.rdbuf()) {}

    bool next_is(std::string_view choices) {
        const traits::int_type c = buffer_->sgetc();
        if (traits::eq_int_type(c, traits::eof())) {
            at_end_ = true;
            return false;
        }
        return choices.find(traits::to_char_type(c)) != std::string_view::npos;
    }

    // Moves one character of `choices`, if it is next, into `text`.
    bool take(std::string_view choices, std::string& text) {
        if (!next_is(choices)) return false;
        text += traits::to_char_type(buffer_->sbumpc());
        return true;
    }

    std::size_t take_digits(std::string& text) {
        std::size_t count = 0;
        while (take("0123456789", text)) ++count;
        return count;
    }

    bool at_end() const { return at_end_; }

  private:
    std::streambuf* buffer_;
    bool at_end_ = false;
};

// Collects the characters that fit the grammar into `text`; false when the number is incomplete.
bool scan_decimal(scanner& scan, std::string& text) {
    scan.take("+-", text);
    std::size_t digits = scan.take_digits(text);
    if (scan.take(".", text)) digits += scan.take_digits(text);
    if (digits == 0) return false;
    if (scan.take("eE", text)) {
        scan.take("+-", text);
        if (scan.take_digits(text) == 0) return false;
    }
    return true;
}

// A decimal magnitude as 0.d1d2d3… × 10^exponent: its significant digits without leading or
// trailing zeros (none for zero), so that two magnitudes compare exactly by exponent, then digits.
struct decimal_magnitude {
    std::string digits;
    long long exponent = 0;
};

constexpr long long exponent_ceiling = 1'000'000'000;  // far beyond every threshold below

// `text` is digits, an optional point and digits, and an optional exponent, as scanned.
decimal_magnitude normalized(std::string_view text) {
    decimal_magnitude m;
    bool after_point = false;
    std::size_t at = 0;
    for (; at < text.size() && text[at] != 'e' && text[at] != 'E'; ++at) {
        const char c = text[at];
        if (c == '.') {
            after_point = true;
        } else if (m.digits.empty() && c == '0') {
            if (after_point) --m.exponent;  // a zero between the point and the first digit
        } else {
            m.digits += c;
            if (!after_point) ++m.exponent;
        }
    }
    if (at < text.size()) {
        ++at;  // the 'e'
        const bool negative = text[at] == '-';
        if (text[at] == '-' || text[at] == '+') ++at;
        long long power = 0;
        for (; at < text.size(); ++at)
            power = std::min(power * 10 + (text[at] - '0'), exponent_ceiling);
        m.exponent += negative ? -power : power;
    }
    while (!m.digits.empty() && m.digits.back() == '0') m.digits.pop_back();
    if (m.digits.empty()) m.exponent = 0;
    return m;
}

bool below(const decimal_magnitude& a, const decimal_magnitude& b) {
    if (a.digits.empty() || b.digits.empty()) return a.digits.empty() && !b.digits.empty();
    if (a.exponent != b.exponent) return a.exponent < b.exponent;
    return a.digits < b.digits;  // no trailing zeros: a proper prefix is the smaller value
}

// 2^128 and 2^-149, exactly.
const decimal_magnitude two_to_128 = {"340282366920938463463374607431768211456", 39};
const decimal_magnitude two_to_minus_149 = {
    "140129846432481707092372958328991613128026194187651577175706828388979108268586060148663818836"
    "212158203125",
    -44};

// The single-precision value of a decimal magnitude (digits, point, exponent; no sign). The range
// decisions compare the exact decimal value with the thresholds; inside the range from_chars rounds
// correctly, the same on every platform.
float single_magnitude(std::string_view text) {
    const decimal_magnitude exact = normalized(text);
    if (!below(exact, two_to_128)) return std::numeric_limits<float>::infinity();
    if (below(exact, two_to_minus_149)) return 0.0F;
    float nearest = 0.0F;
    const std::from_chars_result read = std::from_chars(text.data(), text.data() + text.size(),
                                                        nearest, std::chars_format::general);
    // The only value out of range here is one between the largest single and 2^128.
    return read.ec == std::errc::result_out_of_range ? std::numeric_limits<float>::max() : nearest;
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
    std::string text;
    const bool ok = scan_decimal(scan, text);
    if (ok) {
        const bool negative = text.front() == '-';
        const bool signed_text = negative || text.front() == '+';
        const float magnitude =
            single_magnitude(std::string_view(text).substr(signed_text ? 1 : 0));
        value = negative ? -magnitude : magnitude;
    }
    finish(in, scan, ok);
    return in;
}

std::istream& read_number(std::istream& in, std::uint32_t& value) {
    const std::istream::sentry ready(in);
    if (!ready) return in;
    scanner scan(in);
    std::string text;
    const bool negative = scan.take("-", text);
    if (!negative) scan.take("+", text);
    const std::size_t sign = text.size();
    const std::size_t digits = scan.take_digits(text);

    std::uint64_t number = 0;
    bool too_large = false;
    for (std::size_t at = sign; at < text.size() && !too_large; ++at) {
        number = number * 10 + static_cast<std::uint64_t>(text[at] - '0');
        too_large = number > std::numeric_limits<std::uint32_t>::max();
    }
    const bool ok = digits > 0 && !too_large && !(negative && number != 0);
    if (ok) value = static_cast<std::uint32_t>(number);
    finish(in, scan, ok);
    return in;
}

std::ostream& write_number(std::ostream& out, float value) {
    const double wide = value;
    if (std::isinf(wide)) return out << (wide > 0 ? "+INF" : "-INF");
    if (std::isnan(wide)) return out << (std::signbit(wide) ? "-NAN" : "+NAN");
    std::array<char, 32> text{};
    const auto written =
        std::to_chars(text.data(), text.data() + text.size(), wide, std::chars_format::general, 6);
    return out << std::string_view(text.data(), written.ptr);
}

}  // namespace dialogue
