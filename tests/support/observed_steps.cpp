// Runs the iteration of each dialogue given on standard input, the dialogues separated by NUL
// bytes: the three numbers read as the program reads them (a failed read leaves 0), and what an
// observer is told written as recorded_run writes it, one run after another.

#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "dialogue/newton.hpp"
#include "dialogue/number_io.hpp"
#include "equation/math_error.hpp"
#include "support/recorded_run.hpp"

int main() {
    // The exponential's overflow reports are the program's business, not this listing's.
    equation::set_math_error_hook([](equation::math_error&) { return true; });
    const std::string all{std::istreambuf_iterator<char>(std::cin), {}};
    std::istringstream dialogues(all);
    for (std::string dialogue; std::getline(dialogues, dialogue, '\0');) {
        std::istringstream in(dialogue);
        float x0 = 0;
        float eps = 0;
        std::uint32_t limit = 0;
        dialogue::read_number(in, x0);
        dialogue::read_number(in, eps);
        dialogue::read_number(in, limit);
        testing_support::recorded_run run;
        dialogue::solve(x0, eps, limit, &run);
        std::cout << run.text();
    }
    return 0;
}
