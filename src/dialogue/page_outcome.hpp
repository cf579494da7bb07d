// The codes the page gets for a run's outcome, from the observer (observer_web.cpp) and from the
// strip of starting values (basin_web.cpp). The page decodes these values, whatever the order of
// the outcome enumeration: web/src/view/runs.js (its `outcomes` table) and web/src/view/basin.js
// (its own).
#pragma once

#include <cstdint>

#include "dialogue/newton.hpp"

namespace dialogue {

enum class page_outcome : std::int32_t {
    converged = 0,   // "Корень = ", the root and the count
    not_found = 1,   // "Решение не найдено": the limit was used up
    non_finite = 2,  // "Решение не найдено": the values left the finite range
};

inline page_outcome page_outcome_of(outcome kind) {
    switch (kind) {
        case outcome::root_found:
            return page_outcome::converged;
        case outcome::limit_used_up:
            return page_outcome::not_found;
        case outcome::left_finite_range:
            break;
    }
    return page_outcome::non_finite;
}

}  // namespace dialogue
