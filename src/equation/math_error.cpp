#include "equation/math_error.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <string>

namespace equation {
namespace {

constexpr std::array<const char*, 6> type_names = {
    "DOMAIN", "SING", "OVERFLOW", "UNDERFLOW", "TLOSS", "PLOSS",
};

math_error_hook hook_in_force = default_math_error_hook;

// The report bypasses every buffer: one write straight to the standard error device, retried when
// a signal interrupts it or the device takes only part of it. The count is an unsigned int, which
// both POSIX write and the Windows runtime's (where a text-mode device gets CR LF) accept.
void write_unbuffered(const char* bytes, std::size_t size) {
    while (size > 0) {
        const auto count = static_cast<unsigned>(std::min<std::size_t>(size, 1U << 16));
        const auto written = static_cast<long long>(::write(STDERR_FILENO, bytes, count));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;  // nowhere left to report to
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
}

}  // namespace

bool default_math_error_hook(math_error& error) {
    switch (error.type) {
        case math_error_type::underflow:
            error.result = extended(0.0);
            return true;
        case math_error_type::total_loss:
            return true;
        default:
            return false;
    }
}

math_error_hook set_math_error_hook(math_error_hook hook) {
    const math_error_hook previous = hook_in_force;
    hook_in_force = hook != nullptr ? hook : default_math_error_hook;  // never left without one
    return previous;
}

extended report_math_error(math_error error) {
    if (hook_in_force(error)) return error.result;

    const auto index = static_cast<std::size_t>(error.type) - 1;
    const char* type_name = index < type_names.size() ? type_names[index] : "UNKNOWN";
    std::array<char, 128> text{};
    const int length =
        std::snprintf(text.data(), text.size(), "%s: %s error", error.function, type_name);
    // A name too long for the buffer is cut, never overrun.
    const auto size = std::min(static_cast<std::size_t>(std::max(length, 0)), text.size() - 1);
    std::string report;
    report.reserve(size + 2);
    report += '\n';
    report.append(text.data(), size);
    report += '\n';
    write_unbuffered(report.data(), report.size());
    return error.result;
}

}  // namespace equation
