#include "dialogue/newton.hpp"

#include <cmath>
#include <limits>

#include "equation/equation.hpp"

namespace dialogue {
namespace {

using equation::extended;

constexpr float no_value = std::numeric_limits<float>::quiet_NaN();

// F and F' at x, each evaluated once, and the update x − f/d with f rounded to single; no update is
// formed when f or d is not finite. The step is left to the accuracy test.
newton_update update_at(float x) {
    const extended f = equation::F(x);
    const extended d = equation::dF(x);
    const auto single_f = static_cast<float>(f);
    if (!std::isfinite(single_f) || !equation::is_finite(d)) return {x, no_value, f, d, no_value};
    return {x, static_cast<float>(extended(x) - extended(single_f) / d), f, d, no_value};
}

std::optional<float> finite(float next) {
    if (!std::isfinite(next)) return std::nullopt;
    return next;
}

}  // namespace

std::optional<float> newton_step(float x) {
    return finite(update_at(x).next);
}

double step_size(float x, float x_prev) {
    return static_cast<double>(extended(x) - extended(x_prev));
}

bool step_within(float x, float x_prev, float eps) {
    return within(step_size(x, x_prev), eps);
}

newton_result solve(float x0, float eps, std::uint32_t limit, iteration_observer* observer) {
    if (observer == nullptr) return iterate(newton_step, x0, eps, limit);
    observer->begin(x0, eps, limit);
    newton_update last{};
    const auto step = [&last](float x) {
        last = update_at(x);
        return finite(last.next);
    };
    const auto watch = [&last, observer](double size) {
        last.delta = size;
        observer->update(last);
    };
    const newton_result result = iterate(step, x0, eps, limit, watch);
    if (result.kind == outcome::left_finite_range) observer->update(last);
    observer->end(result);
    return result;
}

}  // namespace dialogue
