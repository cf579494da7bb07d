// Every single-precision starting value ends the search definitely: a finite root near one of the
// equation's two roots, or no root, and never an invalid operation or a division by zero.

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "dialogue/newton.hpp"
#include "equation/equation.hpp"
#include "equation/math_error.hpp"
#include "support/recorded_run.hpp"

namespace {

using dialogue::outcome;

constexpr std::uint32_t largest_limit = 4294967295U;

// Overflow reports are counted instead of written; the result stays infinite.
int overflows = 0;
bool count_overflow(equation::math_error& error) {
    if (error.type != equation::math_error_type::overflow) {
        return equation::default_math_error_hook(error);
    }
    ++overflows;
    return true;
}

struct sweep_figures {
    std::uint64_t runs = 0;
    std::uint64_t roots = 0;
    std::uint64_t used_up = 0;
    std::uint64_t left = 0;
    std::uint32_t longest = 0;                  // the largest count written with a root
    std::uint64_t digest = 0xcbf29ce484222325;  // FNV-1a of every outcome, x and count
};

void add_to_digest(std::uint64_t& digest, std::uint32_t word) {
    for (int byte = 0; byte < 4; ++byte) {
        digest = (digest ^ ((word >> (8 * byte)) & 0xFFU)) * 0x100000001b3;
    }
}

// Checks one run and counts it; false, with a failure, when it did not end as it should.
bool check_run(float x0, float eps, sweep_figures& figures) {
    overflows = 0;
    const dialogue::newton_result result = dialogue::solve(x0, eps, largest_limit);
    ++figures.runs;
    add_to_digest(figures.digest, static_cast<std::uint32_t>(result.kind));
    add_to_digest(figures.digest, std::bit_cast<std::uint32_t>(result.x));
    add_to_digest(figures.digest, result.count);
    if (overflows != 0 && result.kind != outcome::left_finite_range) {
        ADD_FAILURE() << "X0 " << x0 << " reported overflow and went on";
        return false;
    }
    if (result.kind == outcome::root_found) {
        ++figures.roots;
        // A step below 10^-3 happens only next to a root of F, where F' is far from 0.
        const bool near_a_root =
            std::fabs(result.x - 0.299733F) < 1e-4F || std::fabs(result.x - 2.59939F) < 1e-4F;
        if (eps <= 0.0F || !near_a_root || result.count >= 200) {
            ADD_FAILURE() << "X0 " << x0 << " found " << result.x << " after " << result.count;
            return false;
        }
        if (result.count > figures.longest) figures.longest = result.count;
    } else if (result.kind == outcome::limit_used_up) {
        ++figures.used_up;
        if (result.count != largest_limit) {
            ADD_FAILURE() << "X0 " << x0 << " used up " << result.count << " updates";
            return false;
        }
    } else {
        ++figures.left;
    }
    return true;
}

constexpr unsigned stride_shift = 12;
constexpr std::uint64_t stride = std::uint64_t{1} << stride_shift;
constexpr std::uint64_t block = 1024 * stride;  // the exception flags are tested once a block

// Every stride-th bit pattern in [from, to), with the top and bottom patterns of each stretch so
// that ±0, the smallest subnormals, the largest values and ±∞ are all among them. NaN is left out:
// the number reader never gives it.
template <class Run>
bool for_each_start(std::uint64_t from, std::uint64_t to, Run run) {
    for (std::uint64_t base = from; base < to; base += stride) {
        for (const std::uint64_t bits : {base, base + 1, base + stride - 1}) {
            // NaN by its bits: a comparison with a signalling NaN would raise a flag itself.
            if ((bits & 0x7FFFFFFFU) > 0x7F800000U) continue;
            if (!run(std::bit_cast<float>(static_cast<std::uint32_t>(bits)))) return false;
        }
    }
    return true;
}

// The flags are sticky, so one test covers a block; a block that raised one is run again start by
// start to name the first start that did.
void sweep(float eps, sweep_figures& figures) {
    for (std::uint64_t from = 0; from < (std::uint64_t{1} << 32); from += block) {
        std::feclearexcept(FE_ALL_EXCEPT);
        if (!for_each_start(from, from + block,
                            [&](float x0) { return check_run(x0, eps, figures); })) {
            return;
        }
        if (std::fetestexcept(FE_INVALID | FE_DIVBYZERO) == 0) continue;
        const bool named = !for_each_start(from, from + block, [eps](float x0) {
            std::feclearexcept(FE_ALL_EXCEPT);
            dialogue::solve(x0, eps, largest_limit);
            const int raised = std::fetestexcept(FE_INVALID | FE_DIVBYZERO);
            if (raised != 0) ADD_FAILURE() << "X0 " << x0 << " raised " << raised;
            return raised == 0;
        });
        if (!named)
            ADD_FAILURE() << "the starts from bits " << std::hex << from << " raised a flag";
        return;
    }
}

TEST(Sweep, EveryStartEndsDefinitely) {
    const equation::math_error_hook previous = equation::set_math_error_hook(count_overflow);
    // The digests of every result, as this arithmetic gives them on both platforms: any change that
    // alters a single result of the 6.3 million changes them.
    const std::pair<float, std::uint64_t> expected[] = {{0.0F, 0x5b2fc11c68278a68},
                                                        {1e-3F, 0x67d06d30a88f58d1}};
    for (const auto& [eps, digest] : expected) {
        sweep_figures figures;
        sweep(eps, figures);
        std::cout << "accuracy " << eps << ": " << figures.runs << " starts, " << figures.roots
                  << " roots (count at most " << figures.longest << "), " << figures.used_up
                  << " limits used up, " << figures.left << " left the finite range; digest "
                  << std::hex << figures.digest << std::dec << "\n";
        EXPECT_EQ(figures.digest, digest) << std::hex << "digest " << figures.digest;
        EXPECT_GE(figures.runs, 1000000U);
        if (eps > 0.0F) {
            EXPECT_GT(figures.roots, figures.runs / 4);
        }
    }
    equation::set_math_error_hook(previous);
}

bool same(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// The observer is told the run's numbers, then every update the run made, each replayed here from
// the x it started at, in order, and the run's result, which is the one an unobserved run gives.
bool check_observed(float x0, float eps) {
    const dialogue::newton_result plain = dialogue::solve(x0, eps, largest_limit);
    testing_support::recorded_run run;
    const dialogue::newton_result result = dialogue::solve(x0, eps, largest_limit, &run);
    const std::vector<dialogue::newton_update>& updates = run.updates;
    const auto fail = [&](const char* what) {
        ADD_FAILURE() << "X0 " << x0 << ", accuracy " << eps << ": " << what << "\n" << run.text();
        return false;
    };
    if (result.kind != plain.kind || !same(result.x, plain.x) || result.count != plain.count)
        return fail("the observed run ended otherwise");
    if (run.begun != 1 || !same(run.x0, x0) || !same(run.eps, eps) || run.limit != largest_limit)
        return fail("the run's numbers");
    if (run.ended != 1 || run.result.kind != result.kind || !same(run.result.x, result.x) ||
        run.result.count != result.count)
        return fail("the run's result");
    if (updates.empty() || !same(updates.front().x, x0)) return fail("the first update");
    const std::size_t tested = updates.size() - (result.kind == outcome::left_finite_range ? 1 : 0);
    for (std::size_t k = 0; k < updates.size(); ++k) {
        const dialogue::newton_update& u = updates[k];
        if (k > 0 && !same(u.x, updates[k - 1].next)) return fail("an update's start");
        if (!same(static_cast<float>(u.f), static_cast<float>(equation::F(u.x))) ||
            !(u.df == equation::dF(u.x)))
            return fail("F or F' of an update");
        const std::optional<float> next = dialogue::newton_step(u.x);
        if (k == tested) {
            if (next || std::isfinite(u.delta)) return fail("the update that left the range");
            continue;
        }
        if (!next || !same(u.next, *next)) return fail("an update's value");
        if (std::bit_cast<std::uint64_t>(u.delta) !=
            std::bit_cast<std::uint64_t>(dialogue::step_size(u.next, u.x)))
            return fail("an update's step");
        if (dialogue::within(u.delta, eps) !=
            (result.kind == outcome::root_found && k + 1 == tested))
            return fail("the update whose step met the accuracy");
    }
    if (result.kind == outcome::left_finite_range) {
        if (tested != result.count || !same(updates.back().x, result.x))
            return fail("the updates of a run that left the range");
        return true;
    }
    const float last = updates[tested - 1].next;
    if (result.kind == outcome::root_found && (tested != result.count + 1 || !same(last, result.x)))
        return fail("the updates of a root");
    if (result.kind == outcome::limit_used_up) {
        // Up to the first repeat of x, which the shortcut ends at.
        std::size_t first = 0;
        while (first < tested && !same(updates[first].x, last)) ++first;
        if (first == tested) return fail("a run that used up the limit without repeating");
    }
    return true;
}

// A sixteenth of the sweep, with the observer.
TEST(Sweep, TheObserverSeesEveryUpdateOfTheRun) {
    const equation::math_error_hook previous = equation::set_math_error_hook(count_overflow);
    for (const float eps : {0.0F, 1e-3F}) {
        for (std::uint64_t from = 0; from < (std::uint64_t{1} << 32); from += 16 * block) {
            if (!for_each_start(from, from + block,
                                [eps](float x0) { return check_observed(x0, eps); })) {
                break;
            }
        }
    }
    equation::set_math_error_hook(previous);
}

}  // namespace
