// Newton's method for 2·e^(−x) + 0.2·x² − 1.5 = 0: asks for X0, the accuracy and the iteration
// limit, reports the root or that there is none, and waits for a key.

#include <cstdint>
#include <iostream>

#include "console/console.hpp"
#include "dialogue/newton.hpp"
#include "dialogue/number_io.hpp"
#include "dialogue/texts.hpp"
#include "equation/equation.hpp"

int main() {
    using console::print_oem;
    using dialogue::read_number;
    using dialogue::write_number;
    namespace texts = dialogue::texts;

    console::start();

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

    const dialogue::newton_result result = dialogue::solve(x, eps, n);
    if (result.kind == dialogue::outcome::root_found) {
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
    return 0;
}
