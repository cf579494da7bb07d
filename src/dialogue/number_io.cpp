#include "dialogue/number_io.hpp"

#include <array>
#include <cfenv>
#include <charconv>
#include <cmath>
#include <cstdlib>
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

class rounding_mode {
  public:
    explicit rounding_mode(int mode) : saved_(std::fegetround()) { std::fesetround(mode); }
    ~rounding_mode() { std::fesetround(saved_); }
    rounding_mode(const rounding_mode&) = delete;
    rounding_mode& operator=(const rounding_mode&) = delete;

  private:
    int saved_;
};

// The single-precision value of a decimal magnitude (digits, point, exponent; no sign). The range
// decisions need the exact value, so they use its double rounded downwards: v >= t exactly when
// round_down(v) >= t for a threshold t that is a double. Inside the range, strtof rounds correctly.
float single_magnitude(const char* digits) {
    double lower = 0.0;
    {
        const rounding_mode downwards(FE_DOWNWARD);
        lower = std::strtod(digits, nullptr);
    }
    if (lower >= 0x1p128) return std::numeric_limits<float>::infinity();
    if (lower < 0x1p-149) return 0.0F;
    const float nearest = std::strtof(digits, nullptr);
    return std::isinf(nearest) ? std::numeric_limits<float>::max() : nearest;
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
        const float magnitude = single_magnitude(text.c_str() + (signed_text ? 1 : 0));
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
