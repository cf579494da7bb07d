// Where each starting value leads, for the page's strip under the graph: the dialogue's own
// iteration (solve, as run_dialogue calls it) from many X0 with one accuracy and limit, and what
// the dialogue would report for each. The page writes the starting values into the buffer, calls
// newton_basin and reads the results back (web/src/view/basin.js decodes them).

#include <cstdint>

#include "dialogue/newton.hpp"
#include "dialogue/page_outcome.hpp"

namespace {

struct sample {
    float x0;             // written by the page
    float root;           // the root the dialogue writes; 0 where it writes none
    std::uint32_t count;  // «Число итераций»; 0 where it writes none
    dialogue::page_outcome outcome;
};

constexpr int capacity = 1024;
sample samples[capacity];

}  // namespace

extern "C" {

// The buffer of `capacity` samples the page fills.
__attribute__((export_name("newton_basin_samples"))) sample* newton_basin_samples() {
    return samples;
}

// Runs the first `count` samples (at most the buffer's size) with this accuracy and limit.
__attribute__((export_name("newton_basin"))) void newton_basin(int count, float eps,
                                                               std::uint32_t limit) {
    for (int i = 0; i < count && i < capacity; ++i) {
        sample& s = samples[i];
        const dialogue::newton_result result = dialogue::solve(s.x0, eps, limit);
        s.outcome = dialogue::page_outcome_of(result.kind);
        const bool found = s.outcome == dialogue::page_outcome::converged;
        s.root = found ? result.x : 0.0F;
        s.count = found ? result.count : 0;
    }
}
}
