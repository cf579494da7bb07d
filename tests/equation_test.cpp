// The equation's values to the bit, and the exponential's range checks and reports.

#include "equation/equation.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "equation/exponential.hpp"
#include "equation/math_error.hpp"
#include "support/captured_stderr.hpp"

namespace {

using equation::dF;
using equation::exponential;
using equation::extended;
using equation::F;
using testing_support::captured_stderr;

const extended infinity(std::numeric_limits<double>::infinity());
const extended zero(0.0);
const std::string overflow_report = "\nexp: OVERFLOW error\n";

TEST(Constants, AreStoredInTheirExactForms) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(equation::two), 0x40000000U);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(equation::point_two), 0x3FC999999999999AU);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(equation::one_and_a_half), 0x3FC00000U);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(equation::minus_two), 0xC0000000U);
    EXPECT_EQ(std::bit_cast<std::uint64_t>(equation::point_four), 0x3FD999999999999AU);
}

TEST(Equation, ExactValuesWhereTheExponentialIsExact) {
    const captured_stderr errors;
    EXPECT_EQ(F(0.0F), extended(0.5));
    EXPECT_EQ(dF(0.0F), extended(-2.0));
    // e^-1000 underflows to 0 silently: what is left is the polynomial with the double constants,
    // multiplied in extended precision.
    EXPECT_EQ(F(1000.0F), (extended(0.2) * extended(1000.0)) * extended(1000.0) - extended(1.5));
    EXPECT_EQ(dF(1000.0F), extended(0.4) * extended(1000.0));
    EXPECT_NE(F(1000.0F), extended(199998.5));  // 0.2 is the double, not the real number
    EXPECT_EQ(errors.text(), "");
}

TEST(Equation, ValuesNearTheRootsAndTheMinimum) {
    EXPECT_NEAR(static_cast<double>(F(0.299733043F)), 7.18151e-09, 0.00001e-09);
    // F' is never exactly 0: the two singles around the minimum straddle it.
    EXPECT_LT(dF(1.32672465F), zero);
    EXPECT_GT(dF(1.32672477F), zero);
    EXPECT_NEAR(static_cast<double>(dF(1.32672465F)), -1.56e-8, 0.01e-8);
    EXPECT_NEAR(static_cast<double>(dF(1.32672477F)), 9.53e-8, 0.01e-8);
}

TEST(Equation, OverflowAtMinus710ReportsOncePerFunction) {
    const captured_stderr errors;
    EXPECT_EQ(F(-710.0F), infinity);
    EXPECT_EQ(errors.text(), overflow_report);
    EXPECT_EQ(dF(-710.0F), -infinity);
    EXPECT_EQ(errors.text(), overflow_report + overflow_report);
}

TEST(Equation, NearTheLimitsTheExponentialComputesNormally) {
    const captured_stderr errors;
    EXPECT_GT(F(708.3F), zero);
    EXPECT_TRUE(equation::is_finite(F(-709.7F)));
    const extended e = exponential(static_cast<double>(709.7F));
    EXPECT_NEAR(static_cast<double>(F(-709.7F) / (extended(2.0) * e)), 1.0, 1e-15);
    EXPECT_EQ(errors.text(), "");
}

TEST(Exponential, OverflowThresholdIsExact) {
    const captured_stderr errors;
    const double threshold = 709.7822265625;
    EXPECT_TRUE(equation::is_finite(exponential(std::nextafter(threshold, 0.0))));
    EXPECT_EQ(errors.text(), "");
    EXPECT_EQ(exponential(threshold), infinity);
    EXPECT_EQ(exponential(1e300), infinity);
    EXPECT_EQ(exponential(std::numeric_limits<double>::infinity()), infinity);
    EXPECT_EQ(errors.text(), overflow_report + overflow_report + overflow_report);
}

TEST(Exponential, UnderflowThresholdIsExactAndSilent) {
    const captured_stderr errors;
    const double threshold = -708.39599609375;
    EXPECT_GT(exponential(std::nextafter(threshold, 0.0)), zero);
    EXPECT_EQ(exponential(threshold), zero);
    EXPECT_EQ(exponential(-1e300), zero);
    EXPECT_EQ(exponential(-std::numeric_limits<double>::infinity()), zero);
    EXPECT_EQ(errors.text(), "");
}

TEST(Exponential, OnlyTheUpperHalfOfTheArgumentIsChecked) {
    const captured_stderr errors;
    // The largest double with the threshold's upper 32 bits still overflows; one below it does not.
    const auto bits = std::bit_cast<std::uint64_t>(709.7822265625);
    EXPECT_EQ(exponential(std::bit_cast<double>(bits | 0xFFFFFFFFU)), infinity);
    EXPECT_TRUE(equation::is_finite(exponential(std::bit_cast<double>(bits - 1))));
    EXPECT_EQ(errors.text(), overflow_report);
}

TEST(Exponential, NotANumberPassesThroughSilently) {
    const captured_stderr errors;
    EXPECT_TRUE(equation::is_nan(exponential(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_EQ(errors.text(), "");
}

bool handle_everything(equation::math_error& error) {
    error.result = extended(42.0);
    return true;
}

TEST(MathError, AReplacedHookDecidesResultAndReport) {
    const captured_stderr errors;
    const equation::math_error_hook previous = equation::set_math_error_hook(handle_everything);
    EXPECT_EQ(exponential(800.0), extended(42.0));
    EXPECT_EQ(exponential(-800.0), extended(42.0));
    EXPECT_EQ(equation::set_math_error_hook(previous), handle_everything);
    EXPECT_EQ(errors.text(), "");
}

TEST(MathError, UnhandledTypesAreReportedByName) {
    const captured_stderr errors;
    EXPECT_EQ(equation::report_math_error(
                  {equation::math_error_type::domain, "log", -1, 0, extended(7.0)}),
              extended(7.0));
    EXPECT_EQ(
        equation::report_math_error({equation::math_error_type::total_loss, "sin", 1e300, 0, zero}),
        zero);
    EXPECT_EQ(errors.text(), "\nlog: DOMAIN error\n");
}

}  // namespace
