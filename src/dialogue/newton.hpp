// Newton's method on the program's equation, in single precision with extended intermediates: the
// update, the accuracy test and the outcome are separate pieces.
#pragma once

#include <cstdint>
#include <optional>

namespace dialogue {

enum class outcome {
    root_found,         // an update came within the accuracy of the one before
    limit_used_up,      // the iteration limit ran out
    left_finite_range,  // F, F' or the next approximation was no longer a finite value
};

struct newton_result {
    outcome kind;
    float x;              // the last approximation
    std::uint32_t count;  // updates that did not meet the accuracy test
};

// One update x − f/d: f is F(x) rounded to single, d is F'(x) in extended precision, the quotient
// and difference are extended and the result is rounded to single. Both F and F' are evaluated
// before any check. Empty when f, d or the new approximation is not finite.
std::optional<float> newton_step(float x);

// The accuracy test: the step x − x_prev, formed in extended precision and rounded to double, is
// smaller than eps in magnitude. A step equal to eps does not pass.
bool step_within(float x, float x_prev, float eps);

// Iterates from x0 while fewer than `limit` updates have failed the accuracy test.
newton_result solve(float x0, float eps, std::uint32_t limit);

}  // namespace dialogue
