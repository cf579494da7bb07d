#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string_view>

#include "support/target.hpp"

namespace testing_support {

// The emulator's command words, if any, then the program.
std::vector<std::string> program_command() {
    std::vector<std::string> command;
    std::istringstream emulator(NEWTON_EMULATOR);
    for (std::string word; emulator >> word;) command.push_back(word);
    command.emplace_back(NEWTON_PROGRAM);
    return command;
}

// The conversion modules of a cross-built program's C library, where the test names them.
std::vector<std::string> program_environment() {
    const char* gconv = std::getenv("GCONV_PATH");
    if (gconv == nullptr) return {};
    return {std::string("GCONV_PATH=") + gconv};
}

bool under_emulator() {
    return std::string_view(NEWTON_EMULATOR).size() > 0;
}

bool preload_reaches_program(std::string_view case_name) {
    if (!under_emulator()) return true;
    std::cout << "skipped under qemu-user, which a preloaded library cannot reach: " << case_name
              << "\n";
    return false;
}

bool closed_pipe_signals() {
    return true;
}

std::string as_written(std::string_view text) {
    return std::string(text);
}

}  // namespace testing_support
