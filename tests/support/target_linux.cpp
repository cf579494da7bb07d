#include "support/target.hpp"

namespace testing_support {

std::vector<std::string> program_command() {
    return {NEWTON_PROGRAM};
}

std::vector<std::string> program_environment() {
    return {};
}

bool closed_pipe_signals() {
    return true;
}

std::string as_written(std::string_view text) {
    return std::string(text);
}

}  // namespace testing_support
