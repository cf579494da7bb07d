#include "dialogue/dialogue.hpp"

#include <cstdint>
#include <iostream>

#include "console/console.hpp"
#include "dialogue/newton.hpp"
#include "dialogue/number_io.hpp"
#include "dialogue/texts.hpp"
#include "equation/equation.hpp"

namespace dialogue {

void run_dialogue() {
    using console::print_oem;
    // A failed read leaves its value as it is; these starting values make such a run definite.
    float x = 0.0F;
    float eps = 0.0F;
    std::uint32_t n = 0;

    print_oem(texts::greeting.data());
    std::cout << std::endl;
    print_oem(texts::ask_start.data());
    read_number(std::cin, x);
    print_oem(texts::ask_accuracy.data());
    read_number(std::cin, eps);
    print_oem(texts::ask_limit.data());
    read_number(std::cin, n);

    const newton_result result = solve(x, eps, n);
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
    console::wait_key();
}

}  // namespace dialogue
