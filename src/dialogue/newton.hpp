// Newton's method on the program's equation, in single precision with extended intermediates: the
// update, the accuracy test and the outcome are separate pieces.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>

#include "equation/extended.hpp"

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

// What one update computed, as an observer of the run is told it. Where F or F' was not finite no
// update was formed, and `next` is NaN; `delta` is NaN where the accuracy test was not reached.
struct newton_update {
    float x;                // the approximation the update started from
    float next;             // the new approximation
    equation::extended f;   // F(x), before it is rounded to single for the update
    equation::extended df;  // F'(x)
    double delta;           // next − x as the accuracy test forms it
};

// Watches one run of the iteration: its numbers, every update in order (for a run its cycle
// shortcut ends, those up to the first repeat of x; for one whose values left the finite range,
// that last update too), and its result.
class iteration_observer {
  public:
    virtual void begin(float x0, float eps, std::uint32_t limit) = 0;
    virtual void update(const newton_update& update) = 0;
    virtual void end(const newton_result& result) = 0;

  protected:
    ~iteration_observer() = default;
};

// The platform's observer of the dialogue's run: none on a console; in a web page, the page's view
// of the method.
iteration_observer* platform_observer();

// One update x − f/d: f is F(x) rounded to single, d is F'(x) in extended precision, the quotient
// and difference are extended and the result is rounded to single. Both F and F' are evaluated
// before any check. Empty when f, d or the new approximation is not finite.
std::optional<float> newton_step(float x);

// The step x − x_prev, formed in extended precision and rounded to double.
double step_size(float x, float x_prev);

// The accuracy test: the step is smaller than eps in magnitude. A step equal to eps does not pass.
inline bool within(double step, float eps) {
    return std::fabs(step) < static_cast<double>(eps);
}
bool step_within(float x, float x_prev, float eps);

// Iterates from x0 while fewer than `limit` updates have failed the accuracy test, telling the
// observer, if any, what it computes. A run whose x repeats can never pass the test again; it ends
// at once with the result the full run would have.
newton_result solve(float x0, float eps, std::uint32_t limit,
                    iteration_observer* observer = nullptr);

// Nothing is watched.
struct unwatched {
    void operator()(double /*step*/) const {}
};

// The loop of `solve` over any update rule `step` (float -> std::optional<float>, empty when the
// values leave the finite range), so that rules with long cycles can drive it too. `watch` is
// given the step of each update, just before its accuracy test.
//
// At every accuracy test x_prev is the x the update started from, so the loop's whole state is x:
// the next x and the test's verdict are fixed functions of it. Once x repeats, every later test
// fails as it did the first time and the limit is bound to run out, so the run ends there, at the x
// the full loop would end with. A value that maps to itself, the usual ending, is seen at once;
// Brent's cycle detection finds any longer lap with one saved value, and the rest of the run is
// then whole laps plus a few steps.
template <class Step, class Watch = unwatched>
newton_result iterate(Step step, float x0, float eps, std::uint32_t limit, Watch watch = {}) {
    const auto same_value = [](float a, float b) {
        return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
    };
    float x = x0;
    float x_prev = x0;
    std::uint32_t i = 0;
    float saved = x0;               // compared with every later x
    std::uint32_t since_saved = 0;  // updates since `saved`
    std::uint64_t power = 1;        // `saved` moves on after this many updates
    while (i < limit) {
        const std::optional<float> next = step(x);
        if (!next) return {outcome::left_finite_range, x, i};
        x = *next;
        const double size = step_size(x, x_prev);
        watch(size);
        if (within(size, eps)) return {outcome::root_found, x, i};
        if (same_value(x, x_prev)) return {outcome::limit_used_up, x, limit};  // a lap of one
        x_prev = x;
        ++i;
        ++since_saved;
        if (same_value(x, saved)) {
            // since_saved is a whole number of laps: walk only the part of one that is left over.
            for (std::uint32_t rest = (limit - i) % since_saved; rest > 0; --rest) {
                x = *step(x);  // a value already reached once, so it is finite
            }
            return {outcome::limit_used_up, x, limit};
        }
        if (since_saved == power) {
            saved = x;
            since_saved = 0;
            power *= 2;
        }
    }
    return {outcome::limit_used_up, x, i};
}

}  // namespace dialogue
