// Reading the dialogue's numbers: the grammar, where the stream stops, the failed state, the range
// rules; writing them in general notation.

#include "dialogue/number_io.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>

namespace {

using dialogue::read_number;

constexpr float infinity = std::numeric_limits<float>::infinity();
constexpr float largest = std::numeric_limits<float>::max();
constexpr float smallest = std::numeric_limits<float>::denorm_min();  // 2^-149
constexpr float untouched = 12345.0F;

struct float_case {
    const char* input;
    bool ok;
    float value;       // when ok
    const char* rest;  // what the stream still holds
};

std::string rest_of(std::istream& in) {
    in.clear();
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T>
struct read_result {
    bool ok;
    T value;
    std::string rest;
};

// Reads one number from `input` into a variable that held `before`.
template <typename T>
read_result<T> read_from(const char* input, T before) {
    std::istringstream in(input);
    T value = before;
    read_number(in, value);
    const bool ok = !in.fail();
    return {ok, value, rest_of(in)};
}

// `head`, then `count` copies of `filler`, then `tail`, made as it is read: an input of any length
// in a few kilobytes.
class generated_input : public std::streambuf {
  public:
    generated_input(std::string head, char filler, std::uint64_t count, std::string tail)
        : head_(std::move(head)), filler_(filler), count_(count), tail_(std::move(tail)) {}

  protected:
    int_type underflow() override {
        chunk_.clear();
        if (!head_.empty()) {
            std::swap(chunk_, head_);
        } else if (count_ > 0) {
            const std::uint64_t size = std::min<std::uint64_t>(count_, 1 << 16);
            chunk_.assign(size, filler_);
            count_ -= size;
        } else {
            std::swap(chunk_, tail_);
        }
        if (chunk_.empty()) return traits_type::eof();
        setg(chunk_.data(), chunk_.data(), chunk_.data() + chunk_.size());
        return traits_type::to_int_type(chunk_[0]);
    }

  private:
    std::string head_;
    char filler_;
    std::uint64_t count_;
    std::string tail_;
    std::string chunk_;
};

template <typename T>
struct long_case {
    const char* head;
    char filler;
    std::uint64_t count;
    const char* tail;
    T value;
};

// Reads one number from each long input; each must be read whole and give its value.
template <typename T>
void expect_long_reads(std::initializer_list<long_case<T>> cases) {
    for (const long_case<T>& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.head << " and " << c.count << " of '" << c.filler << "' and " << c.tail);
        generated_input source(c.head, c.filler, c.count, c.tail);
        std::istream in(&source);
        T value{};
        read_number(in, value);
        EXPECT_FALSE(in.fail());
        EXPECT_TRUE(in.eof());
        EXPECT_EQ(value, c.value);
        if constexpr (std::is_same_v<T, float>) {
            EXPECT_EQ(std::signbit(value), std::signbit(c.value));
        }
    }
}

TEST(ReadSingle, GrammarAndWhereTheNumberEnds) {
    const float_case cases[] = {
        {"0", true, 0.0F, ""},       {"  \t\n\n 1.5\n", true, 1.5F, "\n"},
        {"+2.", true, 2.0F, ""},     {"-.5x", true, -0.5F, "x"},
        {"1e3", true, 1000.0F, ""},  {"1E+3 ", true, 1000.0F, " "},
        {"25e-1", true, 2.5F, ""},   {"1.5abc", true, 1.5F, "abc"},
        {"1.5.3", true, 1.5F, ".3"}, {"0.001", true, 0.001F, ""},
        {"0.1", true, 0.1F, ""},     {"1,5", true, 1.0F, ",5"},
        {"0x10", true, 0.0F, "x10"}, {"3e", false, 0.0F, ""},
        {"3e+x", false, 0.0F, "x"},  {".", false, 0.0F, ""},
        {"-", false, 0.0F, ""},      {"+-1", false, 0.0F, "-1"},
        {"abc", false, 0.0F, "abc"}, {"inf", false, 0.0F, "inf"},
        {"nan", false, 0.0F, "nan"}, {"", false, 0.0F, ""},
        {" \n\t ", false, 0.0F, ""},
    };
    for (const float_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "input \"" << c.input << '"');
        const read_result<float> read = read_from(c.input, untouched);
        EXPECT_EQ(read.ok, c.ok);
        EXPECT_EQ(read.value, c.ok ? c.value : untouched);
        EXPECT_EQ(read.rest, c.rest);
    }
}

TEST(ReadSingle, RangeRules) {
    const float_case cases[] = {
        {"340282346638528859811704183484516925440", true, largest, ""},  // exactly the largest
        {"3.4028235e38", true, largest, ""},
        {"3.40282356779733661637539395458142568448e38", true, largest, ""},  // halfway to the next
        {"340282366920938463463374607431768211455", true, largest, ""},      // 2^128 - 1
        {"340282366920938463463374607431768211455.9999999999999999999999", true, largest, ""},
        {"340282366920938463463374607431768211456", true, infinity, ""},  // 2^128
        {"-340282366920938463463374607431768211456", true, -infinity, ""},
        {"1e39", true, infinity, ""},
        {"-1e39", true, -infinity, ""},
        {"1e99999999999999999999", true, infinity, ""},
        {"1e9999999999999999999", true, infinity, ""},  // 10^19 - 1: past the 64-bit range
        {"1."
         "40129846432481707092372958328991613128026194187651577175706828388979108268586060148663818"
         "836212158203125e-45",
         true, smallest, ""},                           // exactly 2^-149
        {"1.4012984643248170709e-45", true, 0.0F, ""},  // just below 2^-149
        {"1e-45", true, 0.0F, ""},
        {"7.1e-46", true, 0.0F, ""},
        {"1e-99999999999999999999", true, 0.0F, ""},
        {"2.2e-45", true, 2 * smallest, ""},
        {"1.17549435e-38", true, std::numeric_limits<float>::min(), ""},
        {"16777217", true, 16777216.0F, ""},  // ties go to even
        {"16777219", true, 16777220.0F, ""},
        // The same thresholds written with leading zeros, shifted points and exponents.
        {"000.000340282366920938463463374607431768211456000e42", true, infinity, ""},
        {"34028236692093846346337460743176821145.5999e1", true, largest, ""},
        {"0."
         "00140129846432481707092372958328991613128026194187651577175706828388979108268586060148663"
         "818836212158203125e-42",
         true, smallest, ""},
        {"0."
         "00140129846432481707092372958328991613128026194187651577175706828388979108268586060148663"
         "818836212158203124999e-42",
         true, 0.0F, ""},
        {"0000e99999999999", true, 0.0F, ""},
    };
    for (const float_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "input \"" << c.input << '"');
        const read_result<float> read = read_from(c.input, untouched);
        EXPECT_TRUE(read.ok);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(read.value), std::bit_cast<std::uint32_t>(c.value));
    }
    constexpr float one_up = 1.00000011920928955078125F;  // the single after 1
    expect_long_reads<float>({
        {"1.000000059604644775390625", '0', 300, "", 1.0F},     // halfway: ties go to even
        {"1.000000059604644775390625", '0', 300, "1", one_up},  // decided by a digit far beyond
        {"1.000000059604644775390624", '9', 300, "", 1.0F},
        {"-", '0', 1'000'000, "", -0.0F},
        {"0.", '0', 1'100'000'000, "1e99999999999999999999", infinity},
        {"1", '0', 50'000, "e-50000", 1.0F},
    });
    std::istringstream negative_tiny("-1e-50");
    float value = untouched;
    read_number(negative_tiny, value);
    EXPECT_TRUE(value == 0.0F && std::signbit(value));
}

struct count_case {
    const char* input;
    bool ok;
    std::uint32_t value;
    const char* rest;
};

TEST(ReadCount, GrammarAndRange) {
    const count_case cases[] = {
        {"100", true, 100, ""},
        {" +7\n", true, 7, "\n"},
        {"4294967295", true, 4294967295U, ""},
        {"0004294967295", true, 4294967295U, ""},
        {"-0", true, 0, ""},
        {"-000", true, 0, ""},
        {"1.5", true, 1, ".5"},
        {"1e5", true, 1, "e5"},
        {"4294967296", false, 0, ""},
        {"42949672950", false, 0, ""},  // ten times the largest
        {"99999999999999999999999 1", false, 0, " 1"},
        {"-1", false, 0, ""},
        {"-4294967295", false, 0, ""},
        {"+", false, 0, ""},
        {"--1", false, 0, "-1"},
        {"x", false, 0, "x"},
        {"", false, 0, ""},
    };
    expect_long_reads<std::uint32_t>({
        {"+", '0', 10'000'000, "7", 7},
        {"-", '0', 10'000'000, "", 0},
    });
    for (const count_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "input \"" << c.input << '"');
        const read_result<std::uint32_t> read = read_from(c.input, std::uint32_t{12345});
        EXPECT_EQ(read.ok, c.ok);
        EXPECT_EQ(read.value, c.ok ? c.value : 12345U);
        EXPECT_EQ(read.rest, c.rest);
    }
}

TEST(ReadFailedState, EveryLaterReadFailsAtOnceAndLeavesItsValue) {
    std::istringstream in("1.5abc 2 3");
    float x = 0.0F;
    float eps = untouched;
    std::uint32_t n = 77;
    read_number(in, x);
    EXPECT_EQ(x, 1.5F);
    read_number(in, eps);
    EXPECT_TRUE(in.fail());
    read_number(in, n);
    EXPECT_EQ(eps, untouched);
    EXPECT_EQ(n, 77U);
    in.clear();
    EXPECT_EQ(in.get(), 'a');  // nothing was taken by the failed reads
    // Even where what follows a failed read would make a number.
    std::istringstream after_exponent("1e++3");
    read_number(after_exponent, x);
    read_number(after_exponent, eps);
    read_number(after_exponent, n);
    EXPECT_EQ(eps, untouched);
    EXPECT_EQ(n, 77U);
}

TEST(ReadEndOfInput, ANumberAtTheEndIsReadAndTheNextReadFails) {
    std::istringstream in("5");
    float x = 0.0F;
    std::uint32_t n = 9;
    read_number(in, x);
    EXPECT_FALSE(in.fail());
    EXPECT_TRUE(in.eof());
    EXPECT_EQ(x, 5.0F);
    read_number(in, n);
    EXPECT_TRUE(in.fail());
    EXPECT_EQ(n, 9U);
}

TEST(WriteSingle, GeneralNotationWithSixDigits) {
    const std::pair<float, const char*> cases[] = {
        {0.299733043F, "0.299733"},
        {2.59939F, "2.59939"},
        {2.6112F, "2.6112"},
        {7.18151e-09F, "7.18151e-09"},
        {1234567.0F, "1.23457e+06"},
        {123456.0F, "123456"},
        {0.0001F, "0.0001"},
        {0.00001F, "1e-05"},
        {-26857.8F, "-26857.8"},
        {0.25F, "0.25"},
        {999999.5F, "1e+06"},   // a tie, to the even 1000000
        {100000.5F, "100000"},  // a tie, to the even 100000
        {0.0F, "0"},
        {-0.0F, "-0"},
        {largest, "3.40282e+38"},
        {smallest, "1.4013e-45"},
        {infinity, "+INF"},
        {-infinity, "-INF"},
        {std::numeric_limits<float>::quiet_NaN(), "+NAN"},
        {-std::numeric_limits<float>::quiet_NaN(), "-NAN"},
    };
    for (const auto& [value, text] : cases) {
        std::ostringstream out;
        dialogue::write_number(out, value);
        EXPECT_EQ(out.str(), text);
    }
    // Doubles, which the page's table writes in the same form.
    const std::pair<double, const char*> doubles[] = {
        {1234565.0, "1.23456e+06"},  // a tie, to the even 1234560
        {0.1, "0.1"},
        {-1.7976931348623157e308, "-1.79769e+308"},
        {4.9406564584124654e-324, "4.94066e-324"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
        {std::numeric_limits<double>::quiet_NaN(), "+NAN"},
    };
    for (const auto& [value, text] : doubles) EXPECT_EQ(dialogue::number_text(value), text);
}

#if defined(__cpp_lib_to_chars)
// The exact decimal value of a double (at most 767 significant digits; far fewer here).
std::string exact_text(double value) {
    std::array<char, 1024> text{};
    std::snprintf(text.data(), text.size(), "%.800e", value);
    return text.data();
}

// The program's own conversions against the standard library's, where it has them for float: about
// 2000 doubles spread over every exponent written; every 65537th bit pattern above 2^-149 (below it
// a number reads as 0) written, and read back from its shortest digits, from the halfway point to
// the next single up, and from just either side of that point.
TEST(Conversions, AgreeWithTheStandardLibrary) {
    // Six significant digits, as %g writes them.
    const auto six_digits = [](auto value) {
        std::array<char, 64> text{};
        char* end = std::to_chars(text.data(), text.data() + text.size(), value,
                                  std::chars_format::general, 6)
                        .ptr;
        return std::string(text.data(), end);
    };
    for (std::uint64_t bits = 0x1000000000001; bits < 0x7FF0000000000000; bits += 0x1000000000001) {
        const auto value = std::bit_cast<double>(bits);
        ASSERT_EQ(dialogue::number_text(value), six_digits(value)) << std::hexfloat << value;
    }
    for (std::uint32_t bits = 65537; bits < 0x7F7F0000; bits += 65537) {
        const auto value = std::bit_cast<float>(bits);
        std::ostringstream out;
        dialogue::write_number(out, value);
        ASSERT_EQ(out.str(), six_digits(value)) << std::hexfloat << value;

        std::array<char, 64> text{};
        char* end = std::to_chars(text.data(), text.data() + text.size(), value).ptr;
        // Exact: a double holds every single and the mean of two neighbours.
        const double halfway =
            (static_cast<double>(value) + static_cast<double>(std::nextafter(value, infinity))) / 2;
        for (const std::string& input : {std::string(text.data(), end), exact_text(halfway),
                                         exact_text(std::nextafter(halfway, 0.0)),
                                         exact_text(std::nextafter(halfway, 1.0e300))}) {
            float expected = 0;
            std::from_chars(input.data(), input.data() + input.size(), expected);
            ASSERT_EQ(read_from(input.c_str(), untouched).value, expected) << input;
        }
    }
}
#endif

}  // namespace
