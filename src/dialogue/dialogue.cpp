#include "dialogue/dialogue.hpp"

#include <cstdint>
#include <iostream>
#include <string>

#include "console/console.hpp"
#include "dialogue/newton.hpp"
#include "dialogue/number_io.hpp"
#include "dialogue/texts.hpp"
#include "equation/equation.hpp"

namespace dialogue {
namespace {

using console::print_oem;

// Whether standard output took everything written to it so far (a full disk, a closed descriptor or
// an I/O error leave it bad).
bool output_written() {
    return !std::cout.bad();
}

// Writes the prompt, then reads the value; false, without reading, when standard output failed.
template <class Number>
bool ask(const char* prompt, Number& value) {
    print_oem(prompt);
    if (!output_written()) return false;
    read_number(std::cin, value);
    return true;
}

// The failure of standard output, named on standard error in the user's character set.
int report_write_failure(int error) {
    std::string line = texts::write_failed.data();
    if (const char* reason = texts::write_failure_reason(error)) {
        line += ": ";
        line += reason;
    }
    console::print_error_line(line.c_str());
    return 1;
}

}  // namespace

int run_dialogue() {
    // A failed read leaves its value as it is; these starting values make such a run definite.
    float x = 0.0F;
    float eps = 0.0F;
    std::uint32_t n = 0;

    print_oem(texts::greeting.data());
    std::cout << std::endl;
    if (!ask(texts::ask_start.data(), x) || !ask(texts::ask_accuracy.data(), eps) ||
        !ask(texts::ask_limit.data(), n)) {
        return report_write_failure(console::write_error());
    }

    const newton_result result = solve(x, eps, n, platform_observer());
    if (result.kind == outcome::root_found) {
        print_oem(texts::root_is.data());
        write_number(std::cout, result.x);
        const auto f = static_cast<float>(equation::F(result.x));
        std::cout << texts::f_open;
        write_number(std::cout, result.x);
        std::cout << texts::f_close;
        write_number(std::cout, f);
        std::cout << std::endl;
        print_oem(texts::iterations_is.data());
        std::cout << result.count;
    } else {
        print_oem(texts::not_found.data());
    }
    std::cout << std::endl;
    print_oem(texts::press_any_key.data());
    // Nobody would see the closing text: no wait for a key nobody was asked for.
    if (!output_written()) return report_write_failure(console::write_error());
    if (console::wait_key() == console::mode_not_restored) {
        console::print_error_line(texts::mode_not_back.data());
        return 1;
    }
    return 0;
}

}  // namespace dialogue
