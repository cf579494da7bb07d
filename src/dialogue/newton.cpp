#include "dialogue/newton.hpp"

#include <cmath>

#include "equation/equation.hpp"

namespace dialogue {

std::optional<float> newton_step(float x) {
    using equation::extended;
    const auto f = static_cast<float>(equation::F(x));
    const extended d = equation::dF(x);
    if (!std::isfinite(f) || !equation::is_finite(d)) return std::nullopt;
    const auto next = static_cast<float>(extended(x) - extended(f) / d);
    if (!std::isfinite(next)) return std::nullopt;
    return next;
}

bool step_within(float x, float x_prev, float eps) {
    using equation::extended;
    const auto delta = static_cast<double>(extended(x) - extended(x_prev));
    return std::fabs(delta) < static_cast<double>(eps);
}

newton_result solve(float x0, float eps, std::uint32_t limit) {
    return iterate(newton_step, x0, eps, limit);
}

}  // namespace dialogue
