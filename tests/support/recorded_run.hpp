// An observer of the iteration that keeps everything it is told about one run, and writes it with
// every number's bits, so that the page's module can be compared with the native build exactly.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "dialogue/newton.hpp"
#include "dialogue/number_io.hpp"

namespace testing_support {

struct recorded_run final : dialogue::iteration_observer {
    int begun = 0;
    float x0 = 0;
    float eps = 0;
    std::uint32_t limit = 0;
    std::vector<dialogue::newton_update> updates;
    int ended = 0;
    dialogue::newton_result result{};

    void begin(float x0_, float eps_, std::uint32_t limit_) override {
        ++begun;
        x0 = x0_;
        eps = eps_;
        limit = limit_;
    }
    void update(const dialogue::newton_update& update) override { updates.push_back(update); }
    void end(const dialogue::newton_result& result_) override {
        ++ended;
        result = result_;
    }

    // One line for the run's numbers, one for each update, one for its result: singles and doubles
    // as their bits in hexadecimal, F and F' rounded to double; after a bar, as the program writes
    // them.
    std::string text() const {
        std::string lines = line("begin %08x %08x %u", bits(x0), bits(eps), limit) + " | " +
                            dialogue::number_texts(x0, eps) + " " + std::to_string(limit) + "\n";
        for (const dialogue::newton_update& u : updates) {
            const auto f = static_cast<double>(u.f);
            const auto df = static_cast<double>(u.df);
            lines += line("update %08x %08x %016llx %016llx %016llx", bits(u.x), bits(u.next),
                          bits(f), bits(df), bits(u.delta)) +
                     " | " + dialogue::number_texts(u.x, u.next, f, df, u.delta) + "\n";
        }
        return lines +
               line("end %d %08x %u", static_cast<int>(result.kind), bits(result.x), result.count) +
               " | " + dialogue::number_texts(result.x) + "\n";
    }

  private:
    static unsigned bits(float value) { return std::bit_cast<std::uint32_t>(value); }
    static unsigned long long bits(double value) { return std::bit_cast<std::uint64_t>(value); }
    template <class... Values>
    static std::string line(const char* format, Values... values) {
        char text[128];
        std::snprintf(text, sizeof text, format, values...);
        return text;
    }
};

}  // namespace testing_support
