// The iteration ends as soon as x repeats, with exactly the outcome, x and count that the full loop
// would reach, on the real update and on rules with long cycles.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "dialogue/newton.hpp"

namespace {

using dialogue::newton_result;
using dialogue::outcome;

constexpr std::uint32_t largest_limit = 4294967295U;

// The loop without any shortcut: every permitted update is made.
template <class Step>
newton_result full_loop(Step step, float x0, float eps, std::uint32_t limit) {
    float x = x0;
    float x_prev = x0;
    std::uint32_t i = 0;
    while (i < limit) {
        const std::optional<float> next = step(x);
        if (!next) return {outcome::left_finite_range, x, i};
        x = *next;
        if (dialogue::step_within(x, x_prev, eps)) return {outcome::root_found, x, i};
        x_prev = x;
        ++i;
    }
    return {outcome::limit_used_up, x, i};
}

void expect_same(const newton_result& shortcut, const newton_result& full) {
    EXPECT_EQ(shortcut.kind, full.kind);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(shortcut.x), std::bit_cast<std::uint32_t>(full.x))
        << shortcut.x << " instead of " << full.x;
    EXPECT_EQ(shortcut.count, full.count);
}

const float accuracies[] = {0.0F, -1.0F, 1e-9F, 1e-3F, 0.5F};

TEST(CycleShortcut, MatchesTheFullLoopOnTheExamples) {
    const float starts[] = {0.0F, 3.0F, 1.0F, 2.0F, 1000.0F, 1.33F, -50.0F, 1.3267F, -88.0F};
    for (const float x0 : starts) {
        for (const float eps : accuracies) {
            for (const std::uint32_t limit : {0U, 1U, 3U, 4U, 10U, 50U, 100U, 10000U}) {
                SCOPED_TRACE(testing::Message()
                             << "X0 " << x0 << ", eps " << eps << ", limit " << limit);
                expect_same(dialogue::solve(x0, eps, limit),
                            full_loop(dialogue::newton_step, x0, eps, limit));
            }
        }
    }
}

TEST(CycleShortcut, MatchesTheFullLoopFromBitPatternsAllOverTheRange) {
    std::mt19937 engine(20261209);  // fixed seed: the same starts in every run
    const auto random = [&engine] { return static_cast<std::uint32_t>(engine()); };
    for (int run = 0; run < 3000; ++run) {
        const auto x0 = std::bit_cast<float>(random());
        // Most limits are short, where the repeat is found near the limit; some reach 10^4.
        const std::uint32_t limit = run % 4 == 0 ? random() % 10001 : random() % 160;
        for (const float eps : accuracies) {
            SCOPED_TRACE(testing::Message()
                         << "X0 " << x0 << ", eps " << eps << ", limit " << limit);
            expect_same(dialogue::solve(x0, eps, limit),
                        full_loop(dialogue::newton_step, x0, eps, limit));
        }
    }
}

TEST(CycleShortcut, TheLargestLimitEndsAtTheFixedPoint) {
    for (const float eps : {0.0F, -1.0F}) {
        const newton_result result = dialogue::solve(0.0F, eps, largest_limit);
        EXPECT_EQ(result.kind, outcome::limit_used_up);
        EXPECT_EQ(result.x, 0.299733043F);
        EXPECT_EQ(result.count, largest_limit);
    }
}

// A rule that walks `tail` values 0, 1, 2, ... and then laps `lap` values for ever. Its steps are
// 1 up and one jump down, so accuracy 0.5 is met only by a lap of one value.
struct rho_rule {
    std::uint32_t tail;
    std::uint32_t lap;

    std::optional<float> operator()(float x) const {
        const auto k = static_cast<std::uint32_t>(x) + 1;
        return static_cast<float>(k < tail + lap ? k : tail);
    }
};

TEST(CycleShortcut, LongLapsEndAtTheSameValueAsTheFullLoop) {
    for (const std::uint32_t lap : {1U, 2U, 3U, 7U, 64U, 1000U}) {
        for (const std::uint32_t tail : {0U, 1U, 5U, 100U}) {
            const rho_rule rule{tail, lap};
            for (const float eps : {0.0F, 0.5F}) {
                std::vector<std::uint32_t> limits;
                for (std::uint32_t limit = 0; limit <= tail + 3 * lap + 2; ++limit) {
                    limits.push_back(limit);
                }
                limits.push_back(9999);
                for (const std::uint32_t limit : limits) {
                    SCOPED_TRACE(testing::Message() << "lap " << lap << ", tail " << tail
                                                    << ", eps " << eps << ", limit " << limit);
                    expect_same(dialogue::iterate(rule, 0.0F, eps, limit),
                                full_loop(rule, 0.0F, eps, limit));
                }
            }
            // The largest limit ends where a full loop of the same length modulo the lap would.
            std::uint32_t same_phase = tail + lap;
            while ((largest_limit - same_phase) % lap != 0) ++same_phase;
            const newton_result full = full_loop(rule, 0.0F, 0.0F, same_phase);
            const newton_result shortcut = dialogue::iterate(rule, 0.0F, 0.0F, largest_limit);
            SCOPED_TRACE(testing::Message() << "lap " << lap << ", tail " << tail);
            expect_same(shortcut, {full.kind, full.x, largest_limit});
        }
    }
}

}  // namespace
