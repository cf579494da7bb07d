// In a web page the page's view of the method watches the iteration: every number goes to the page
// as it is computed (x as the single it is, F, F' and the step rounded to double), with the text
// the program writes for it, so that the view shows the program's own digits.

#include <cstdint>
#include <string>

#include "dialogue/newton.hpp"
#include "dialogue/number_io.hpp"
#include "dialogue/page_outcome.hpp"

namespace {

using dialogue::number_texts;

extern "C" {
__attribute__((import_module("newton"), import_name("run_begin"))) void page_run_begin(
    float x0, float eps, std::uint32_t limit, const char* text, int length);
__attribute__((import_module("newton"), import_name("run_update"))) void page_run_update(
    float x, float next, double f, double df, double delta, const char* text, int length);
__attribute__((import_module("newton"), import_name("run_end"))) void page_run_end(
    int outcome, float x, std::uint32_t count, const char* text, int length);
}

class page_view final : public dialogue::iteration_observer {
  public:
    void begin(float x0, float eps, std::uint32_t limit) override {
        const std::string text = number_texts(x0, eps) + " " + std::to_string(limit);
        page_run_begin(x0, eps, limit, text.data(), static_cast<int>(text.size()));
    }

    void update(const dialogue::newton_update& update) override {
        const auto f = static_cast<double>(update.f);
        const auto df = static_cast<double>(update.df);
        const std::string text = number_texts(update.x, update.next, f, df, update.delta);
        page_run_update(update.x, update.next, f, df, update.delta, text.data(),
                        static_cast<int>(text.size()));
    }

    void end(const dialogue::newton_result& result) override {
        const std::string text = number_texts(result.x);
        page_run_end(static_cast<int>(dialogue::page_outcome_of(result.kind)), result.x,
                     result.count, text.data(), static_cast<int>(text.size()));
    }
};

page_view view;

}  // namespace

namespace dialogue {

iteration_observer* platform_observer() {
    return &view;
}

}  // namespace dialogue
