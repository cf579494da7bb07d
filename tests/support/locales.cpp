#include "support/locales.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace testing_support {

std::string built_locale(const std::string& source, const std::string& charmap) {
    const std::filesystem::path locales = std::filesystem::temp_directory_path() /
                                          ("newton-test-locales-" + std::to_string(getpid()));
    std::filesystem::create_directories(locales);
    const std::string command = "localedef -i " + source + " -f " + charmap + " " +
                                (locales / (source + "." + charmap)).string() + " 2>/dev/null";
    return std::system(command.c_str()) == 0 ? locales.string() : std::string();
}

}  // namespace testing_support
