#include "console/console.hpp"

#include <iostream>

#include "console/key_table.hpp"
#include "console/terminal.hpp"

namespace console {
namespace {

int held_back = -1;  // the second code of an extended key, for the next wait_key

}  // namespace

void start() {
    platform::start();
    std::cout << std::unitbuf;  // every output operation reaches the terminal when it ends
}

std::ostream& print_oem(const char* text) {
    platform::write_text(platform::stream::output, text);
    return std::cout;
}

void print_error_line(const char* text) {
    platform::write_text(platform::stream::error, text);
    std::cerr << std::endl;
}

int write_error() {
    return platform::write_error();
}

int wait_key() {
    if (held_back >= 0) {
        const int code = held_back;
        held_back = -1;
        return code;
    }
    const int code = platform::read_key_code();
    if (code >= extended) {
        held_back = code & 0xFF;
        return 0;
    }
    return code;
}

}  // namespace console
