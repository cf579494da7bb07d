// The iteration on the dialogue's examples, its counting rules, and its ending when values leave
// the finite range.

#include "dialogue/newton.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <string>

#include "dialogue/number_io.hpp"
#include "equation/equation.hpp"
#include "support/captured_stderr.hpp"

namespace {

using dialogue::outcome;
using dialogue::solve;

std::string shown(float value) {
    std::ostringstream text;
    dialogue::write_number(text, value);
    return text.str();
}

struct example {
    float x0;
    float eps;
    std::uint32_t limit;
    std::string root;       // as written
    std::string f_at_root;  // as written
    std::uint32_t count;
};

TEST(Solve, ExamplesFindTheRootTheyShould) {
    const example examples[] = {
        {0.0F, 0.001F, 100, "0.299733", "7.18151e-09", 3},
        {0.0F, 0.001F, 4, "0.299733", "7.18151e-09", 3},  // success in the last permitted update
        {3.0F, 0.0001F, 100, "2.59939", "9.95655e-08", 3},
        {1.0F, 0.000001F, 50, "0.299733", "7.18151e-09", 6},
        {2.0F, 0.5F, 10, "2.6112", "0.010562", 1},
        {1000.0F, 0.001F, 100, "2.59939", "9.95655e-08", 11},
        {1.33F, 0.001F, 100, "2.59939", "9.95655e-08", 10},
        {-50.0F, 0.001F, 100, "0.299733", "1.28966e-07", 53},
        {0.0F, 1e30F, 100, "0.25", "0.0701016", 0},
    };
    for (const example& e : examples) {
        SCOPED_TRACE(testing::Message()
                     << "X0 " << e.x0 << ", eps " << e.eps << ", limit " << e.limit);
        const dialogue::newton_result result = solve(e.x0, e.eps, e.limit);
        EXPECT_EQ(result.kind, outcome::root_found);
        EXPECT_EQ(shown(result.x), e.root);
        EXPECT_EQ(shown(static_cast<float>(equation::F(result.x))), e.f_at_root);
        EXPECT_EQ(result.count, e.count);
    }
}

TEST(Solve, ApproximationsFromZeroAreTheExpectedSingles) {
    const float expected[] = {0.25F, 0.298093766F, 0.299731195F, 0.299733043F};
    float x = 0.0F;
    for (const float next : expected) {
        x = dialogue::newton_step(x).value();
        EXPECT_EQ(x, next);
    }
}

TEST(Solve, LimitUsedUpIsNotARoot) {
    for (const std::uint32_t limit : {0U, 1U, 2U, 3U}) {
        const dialogue::newton_result result = solve(0.0F, 0.001F, limit);
        EXPECT_EQ(result.kind, outcome::limit_used_up) << "limit " << limit;
        EXPECT_EQ(result.count, limit);
    }
    // A fixed point is reached, but accuracy 0 or below can never be met.
    for (const float eps : {0.0F, -1.0F}) {
        const dialogue::newton_result result = solve(0.0F, eps, 100);
        EXPECT_EQ(result.kind, outcome::limit_used_up);
        EXPECT_EQ(result.x, 0.299733043F);
    }
}

TEST(Solve, AStepEqualToTheAccuracyDoesNotPass) {
    EXPECT_FALSE(dialogue::step_within(0.25F, 0.0F, 0.25F));
    EXPECT_TRUE(dialogue::step_within(0.25F, 0.0F, std::nextafter(0.25F, 1.0F)));
    EXPECT_FALSE(dialogue::step_within(0.0F, 0.25F, 0.25F));
    // The step is formed in extended precision and rounded to double, not to single: 1 + 2^-23 -
    // 2^-30 passes 1 + 2^-23 (as a single it would equal it); nor is it kept in extended: 1 - 2^-60
    // is 1 as a double, which does not pass 1.
    const float above_one = std::nextafter(1.0F, 2.0F);
    EXPECT_TRUE(dialogue::step_within(above_one, 0x1p-30F, above_one));
    EXPECT_FALSE(dialogue::step_within(1.0F, 0x1p-60F, 1.0F));
}

TEST(Solve, JumpFarLeftIsReportedWithInfiniteF) {
    const testing_support::captured_stderr errors;
    const dialogue::newton_result result = solve(1.3267F, 1e30F, 100);
    EXPECT_EQ(result.kind, outcome::root_found);
    EXPECT_EQ(shown(result.x), "-26857.8");
    EXPECT_EQ(result.count, 0U);
    EXPECT_EQ(errors.text(), "");  // the jump itself stays within range
    EXPECT_EQ(shown(static_cast<float>(equation::F(result.x))), "+INF");
}

TEST(Solve, ValuesLeavingTheFiniteRangeEndTheSearch) {
    const float infinity = std::numeric_limits<float>::infinity();
    const float starts[] = {-88.03F,  -1000.0F,  4.2e19F,    3e38F,
                            infinity, -infinity, 1.3193177F, 1.32672465F};
    for (const float x0 : starts) {
        const testing_support::captured_stderr errors;
        const dialogue::newton_result result = solve(x0, 0.001F, 100);
        EXPECT_EQ(result.kind, outcome::left_finite_range) << "X0 " << x0;
        EXPECT_TRUE(result.count < 100) << "X0 " << x0;
    }
    // Just inside the range the same starts still iterate.
    EXPECT_EQ(solve(-88.0F, 0.001F, 1000).kind, outcome::root_found);
    EXPECT_EQ(solve(4.1e19F, 0.001F, 1000).kind, outcome::root_found);
}

TEST(Solve, BothEvaluationsReportBeforeTheSearchEnds) {
    const testing_support::captured_stderr errors;
    EXPECT_EQ(solve(-710.0F, 0.001F, 10).kind, outcome::left_finite_range);
    EXPECT_EQ(errors.text(), "\nexp: OVERFLOW error\n\nexp: OVERFLOW error\n");
}

}  // namespace
