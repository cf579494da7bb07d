#include <cstdlib>

#include "console/charset.hpp"
#include "support/target.hpp"

namespace testing_support {
namespace {

std::string from_environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

}  // namespace

// The test's environment names the program, its build (for Wine's prefixes and locales) and the
// system locale it runs on.
std::vector<std::string> program_command() {
    return {WINE_SESSION, "run", from_environment("NEWTON_WINDOWS_PROGRAM")};
}

std::vector<std::string> program_environment() {
    return {"NEWTON_WINDOWS_BUILD=" + from_environment("NEWTON_WINDOWS_BUILD"),
            "NEWTON_WINE_LOCALE=" + from_environment("NEWTON_WINE_LOCALE"),
            "HOME=" + from_environment("HOME")};
}

bool under_emulator() {
    return false;  // Wine runs the program itself, not an emulated processor
}

bool closed_pipe_signals() {
    return false;
}

std::string as_written(std::string_view text) {
    console::charset_converter to_oem("CP866", "UTF-8");
    std::string written;
    for (const char c : to_oem(text)) {
        if (c == '\n') written += '\r';
        written += c;
    }
    return written;
}

}  // namespace testing_support
