#include "support/locales.hpp"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace testing_support {

std::string built_locale(const std::string& source, const std::string& charmap,
                         const std::string& renamed) {
    const std::filesystem::path locales = std::filesystem::temp_directory_path() /
                                          ("newton-test-locales-" + std::to_string(getpid()));
    std::filesystem::create_directories(locales);
    std::string map = charmap;
    std::string command;
    if (!renamed.empty()) {
        map = (locales / (renamed + ".charmap")).string();
        command = "zcat /usr/share/i18n/charmaps/" + charmap + ".gz | sed 's/^<code_set_name> .*/" +
                  "<code_set_name> " + renamed + "/' >" + map + " && ";
    }
    command += "localedef -i " + source + " -f " + map + " " +
               (locales / (source + "." + (renamed.empty() ? charmap : renamed))).string() +
               " 2>/dev/null";
    return std::system(command.c_str()) == 0 ? locales.string() : std::string();
}

}  // namespace testing_support
