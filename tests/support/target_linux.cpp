#include "support/target.hpp"

namespace testing_support {

std::vector<std::string> program_command() {
    return {NEWTON_PROGRAM};
}

std::vector<std::string> program_environment() {
    return {};
}

std::string as_written(std::string_view text) {
    return std::string(text);
}

}  // namespace testing_support
