#include "dialogue/decimal.hpp"

#include <algorithm>
#include <bit>
#include <compare>
#include <limits>
#include <vector>

#include "equation/soft_float/soft_rounding.hpp"

namespace dialogue {
namespace {

// An unsigned integer of any size: 32-bit words, least significant first, no leading zero words.
class natural {
  public:
    explicit natural(std::uint64_t value) {
        for (; value != 0; value >>= 32) words_.push_back(static_cast<std::uint32_t>(value));
    }

    bool zero() const { return words_.empty(); }

    int bit_length() const {
        if (words_.empty()) return 0;
        return 32 * static_cast<int>(words_.size()) - std::countl_zero(words_.back());
    }

    // this × factor + addend
    void multiply_add(std::uint32_t factor, std::uint32_t addend) {
        std::uint64_t carry = addend;
        for (std::uint32_t& word : words_) {
            carry += static_cast<std::uint64_t>(word) * factor;
            word = static_cast<std::uint32_t>(carry);
            carry >>= 32;
        }
        if (carry != 0) words_.push_back(static_cast<std::uint32_t>(carry));
    }

    void shift_left(int bits) {
        if (zero()) return;
        words_.insert(words_.begin(), static_cast<std::size_t>(bits / 32), 0);
        const int rest = bits % 32;
        if (rest == 0) return;
        std::uint32_t carry = 0;
        for (std::uint32_t& word : words_) {
            const std::uint32_t next = word >> (32 - rest);
            word = (word << rest) | carry;
            carry = next;
        }
        if (carry != 0) words_.push_back(carry);
    }

    void shift_right_one() {
        for (std::size_t i = 0; i < words_.size(); ++i) {
            const std::uint32_t high = i + 1 < words_.size() ? words_[i + 1] << 31 : 0;
            words_[i] = (words_[i] >> 1) | high;
        }
        trim();
    }

    // this − smaller, which is not larger.
    void subtract(const natural& smaller) {
        std::int64_t borrow = 0;
        for (std::size_t i = 0; i < words_.size(); ++i) {
            std::int64_t difference = static_cast<std::int64_t>(words_[i]) - borrow -
                                      (i < smaller.words_.size() ? smaller.words_[i] : 0);
            borrow = difference < 0 ? 1 : 0;
            if (difference < 0) difference += std::int64_t{1} << 32;
            words_[i] = static_cast<std::uint32_t>(difference);
        }
        trim();
    }

    // this / divisor, returning the remainder.
    std::uint32_t divide(std::uint32_t divisor) {
        std::uint64_t remainder = 0;
        for (std::size_t i = words_.size(); i-- > 0;) {
            const std::uint64_t current = (remainder << 32) | words_[i];
            words_[i] = static_cast<std::uint32_t>(current / divisor);
            remainder = current % divisor;
        }
        trim();
        return static_cast<std::uint32_t>(remainder);
    }

    std::string decimal() const {
        if (zero()) return "0";
        natural rest = *this;
        std::string reversed;
        while (!rest.zero()) {
            std::uint32_t chunk = rest.divide(1'000'000'000);
            for (int digit = 0; digit < 9 && (chunk != 0 || !rest.zero()); ++digit) {
                reversed += static_cast<char>('0' + chunk % 10);
                chunk /= 10;
            }
        }
        return {reversed.rbegin(), reversed.rend()};
    }

    friend std::strong_ordering operator<=>(const natural& a, const natural& b) {
        if (a.words_.size() != b.words_.size()) return a.words_.size() <=> b.words_.size();
        for (std::size_t i = a.words_.size(); i-- > 0;) {
            if (a.words_[i] != b.words_[i]) return a.words_[i] <=> b.words_[i];
        }
        return std::strong_ordering::equal;
    }

  private:
    void trim() {
        while (!words_.empty() && words_.back() == 0) words_.pop_back();
    }

    std::vector<std::uint32_t> words_;
};

// The digits of `digits` rounded to six, to nearest with ties to even; `exponent` (the power of ten
// of the last digit) follows.
void round_to_six(std::string& digits, std::int64_t& exponent) {
    constexpr std::size_t six = 6;
    if (digits.size() <= six) return;
    const char next = digits[six];
    const bool beyond = std::any_of(digits.begin() + six + 1, digits.end(),
                                    [](char digit) { return digit != '0'; });
    exponent += static_cast<std::int64_t>(digits.size() - six);
    digits.resize(six);
    const bool up = next > '5' || (next == '5' && (beyond || (digits.back() - '0') % 2 == 1));
    if (!up) return;
    std::size_t at = six;
    while (at > 0 && digits[at - 1] == '9') digits[--at] = '0';
    if (at == 0) {  // 999999 became 1000000
        digits = "100000";
        ++exponent;
    } else {
        ++digits[at - 1];
    }
}

}  // namespace

float nearest_single(std::string_view digits, std::int64_t exponent, bool more_beyond) {
    // The value is numerator / denominator, integers.
    natural numerator(0);
    for (const char digit : digits)
        numerator.multiply_add(10, static_cast<std::uint32_t>(digit - '0'));
    natural denominator(1);
    const std::int64_t power = exponent - static_cast<std::int64_t>(digits.size());
    for (std::int64_t i = 0; i < power; ++i) numerator.multiply_add(10, 0);
    for (std::int64_t i = 0; i > power; --i) denominator.multiply_add(10, 0);

    // Scaled by 2^-shift, the quotient lies in [2^26, 2^28): 27 or 28 bits, 3 or more below the
    // last of the single's 24, where the remainder (and any digit beyond) is folded in.
    const int shift = numerator.bit_length() - denominator.bit_length() - 27;
    if (shift >= 0) {
        denominator.shift_left(shift);
    } else {
        numerator.shift_left(-shift);
    }
    constexpr int quotient_bits = 28;
    denominator.shift_left(quotient_bits - 1);
    std::uint32_t quotient = 0;
    for (int bit = quotient_bits - 1; bit >= 0; --bit) {
        if (numerator >= denominator) {
            numerator.subtract(denominator);
            quotient |= std::uint32_t{1} << bit;
        }
        denominator.shift_right_one();
    }
    const bool sticky = !numerator.zero() || more_beyond;

    namespace soft = equation::soft;
    const int length = 32 - std::countl_zero(quotient);
    const soft::u128 significand = static_cast<soft::u128>(quotient | (sticky ? 1U : 0U))
                                   << (128 - length);
    const soft::rounded single =
        soft::round(soft::single_format, false, shift + length - 1, significand);
    if (single.what == soft::kind::infinity) return std::numeric_limits<float>::max();
    return soft::pack_single(single);
}

std::string general_six(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const std::string sign = bits >> 63 != 0 ? "-" : "";
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    constexpr std::uint64_t hidden_bit = std::uint64_t{1} << 52;
    const std::uint64_t fraction = bits & (hidden_bit - 1);
    if (biased == 0 && fraction == 0) return sign + "0";

    // The exact value, digits × 10^exponent: a double is an integer times a power of two, and
    // m × 2^-k = m × 5^k × 10^-k. The integer's trailing zero bits are dropped first, so that a
    // widened single costs what a single would.
    std::uint64_t integer = biased == 0 ? fraction : fraction | hidden_bit;
    int binary_exponent = biased == 0 ? -1074 : biased - 1075;
    const int zeros = std::countr_zero(integer);
    integer >>= zeros;
    binary_exponent += zeros;
    natural exact(integer);
    std::int64_t exponent = 0;
    if (binary_exponent >= 0) {
        exact.shift_left(binary_exponent);
    } else {
        for (int i = 0; i < -binary_exponent; ++i) exact.multiply_add(5, 0);
        exponent = binary_exponent;
    }
    std::string digits = exact.decimal();
    round_to_six(digits, exponent);
    const std::int64_t scientific = static_cast<std::int64_t>(digits.size()) - 1 + exponent;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string text = sign;
    if (scientific < -4 || scientific >= 6) {
        text += digits[0];
        if (digits.size() > 1) text += "." + digits.substr(1);
        const std::int64_t magnitude = scientific < 0 ? -scientific : scientific;
        text += scientific < 0 ? "e-" : "e+";
        if (magnitude < 10) text += '0';
        return text + std::to_string(magnitude);
    }
    if (scientific < 0) {
        return text + "0." + std::string(static_cast<std::size_t>(-scientific - 1), '0') + digits;
    }
    const auto whole = static_cast<std::size_t>(scientific + 1);
    if (digits.size() <= whole) return text + digits + std::string(whole - digits.size(), '0');
    return text + digits.substr(0, whole) + "." + digits.substr(whole);
}

}  // namespace dialogue
