// Arbitrary bytes as the whole dialogue's standard input, with no terminal: it always reaches its
// last line, and every run ends. Written reports of the exponential are counted, not written, to
// keep the fuzzer's own output readable.

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "dialogue/dialogue.hpp"
#include "equation/math_error.hpp"
#include "support/utf8.hpp"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

bool count_overflow(equation::math_error& error) {
    return error.type == equation::math_error_type::overflow ||
           equation::default_math_error_hook(error);
}

using testing_support::utf8;

// The texts in the character set the console writes without a locale: UTF-8.
const std::string greeting =
    utf8(u8"Программа демонстрирует решение нелинейного уравнения методом Ньютона\n");
const std::string last_line = utf8(u8"\nНажмите любую клавишу");
const std::string not_found = utf8(u8"Решение не найдено");
const std::string root_is = utf8(u8"Корень = ");

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    equation::set_math_error_hook(count_overflow);
    std::istringstream input(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream output;
    std::streambuf* const saved_in = std::cin.rdbuf(input.rdbuf());
    std::streambuf* const saved_out = std::cout.rdbuf(output.rdbuf());
    std::cin.clear();

    require(dialogue::run_dialogue() == 0);

    std::cin.rdbuf(saved_in);
    std::cout.rdbuf(saved_out);
    const std::string text = output.str();
    require(text.starts_with(greeting) && text.ends_with(last_line));
    // Exactly one of the two outcomes is written.
    require((text.find(not_found) == text.npos) != (text.find(root_is) == text.npos));
    return 0;
}
