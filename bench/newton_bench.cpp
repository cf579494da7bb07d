// What a run of the iteration costs: one update, and whole runs with accuracy 0, which the test can
// never meet, at a short and at the largest limit.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "dialogue/newton.hpp"

namespace {

// One update with its accuracy test, from starts spread over [0.5, 3.5).
void one_update(benchmark::State& state) {
    float x = 0.5F;
    for (auto _ : state) {
        const std::optional<float> next = dialogue::newton_step(x);
        benchmark::DoNotOptimize(next);
        benchmark::DoNotOptimize(dialogue::step_within(next.value_or(x), x, 0.001F));
        x = x < 3.5F ? x + 0.0625F : 0.5F;
    }
}
BENCHMARK(one_update);

// Arguments: X0 and the limit. From 0 the run settles after 4 updates; from −80 it climbs by about
// 1 an update and settles after 85.
void whole_run(benchmark::State& state) {
    const auto x0 = static_cast<float>(state.range(0));
    const auto limit = static_cast<std::uint32_t>(state.range(1));
    for (auto _ : state) {
        benchmark::DoNotOptimize(dialogue::solve(x0, 0.0F, limit));
    }
}
BENCHMARK(whole_run)->ArgNames({"x0", "limit"})->ArgsProduct({{0, -80}, {100, 4294967295}});

}  // namespace

BENCHMARK_MAIN();
