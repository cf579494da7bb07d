// The POSIX key wait's system side on Linux: poll() waits on terminals and takes any descriptor,
// and glibc's two signals are caught through the kernel's own call.

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <climits>

#include "console/posix_system.hpp"

namespace console::platform {
namespace {

// The kernel's real-time signals start at 32; glibc keeps 32 and 33 for its threads (cancellation
// and set-id calls made in every thread) and starts SIGRTMIN after them. Their default action ends
// the process. This program has one thread, so glibc never sends them, and one that comes is from
// outside (kill -33) and must put the terminal back like any other.
constexpr int first_library_signal = 32;

// The kernel's signal action, as rt_sigaction takes it on x86, x86-64, ARM and ARM64 (MIPS, SPARC
// and Alpha order it otherwise), and its mask of 64 signals.
constexpr std::size_t mask_words = 64 / (sizeof(unsigned long) * CHAR_BIT);
struct kernel_action {
    void (*handler)(int) = SIG_DFL;
    unsigned long flags = 0;
    void (*restorer)() = nullptr;
    std::array<unsigned long, mask_words> mask{};
};

int kernel_sigaction(int signal_number, const kernel_action* action, kernel_action* previous) {
    return static_cast<int>(
        syscall(SYS_rt_sigaction, signal_number, action, previous, sizeof(kernel_action::mask)));
}

std::array<kernel_action, 2> library_previous{};
std::array<bool, 2> library_caught{};

int library_signal_count() {
    return SIGRTMIN - first_library_signal < 2 ? SIGRTMIN - first_library_signal : 2;
}

}  // namespace

int waitable_descriptor(int descriptor) {
    return descriptor;
}

int wait_for_input(int descriptor, const timespec* timeout, const sigset_t* mask) {
    pollfd ready{descriptor, POLLIN, 0};
    return ppoll(&ready, 1, timeout, mask);
}

void catch_library_signals(void (*handler)(int)) {
    // The action glibc made for SIGCONT (caught by the wait before this) carries the return path a
    // handler needs on this processor (x86-64's restorer); only the handler and mask change.
    kernel_action action;
    if (kernel_sigaction(SIGCONT, nullptr, &action) != 0) return;
    action.handler = handler;
    action.mask.fill(~0UL);
    for (int index = 0; index < library_signal_count(); ++index) {
        const int signal_number = first_library_signal + index;
        kernel_action& previous = library_previous[static_cast<std::size_t>(index)];
        library_caught[static_cast<std::size_t>(index)] =
            kernel_sigaction(signal_number, nullptr, &previous) == 0 &&
            previous.handler != SIG_IGN && kernel_sigaction(signal_number, &action, nullptr) == 0;
    }
}

void release_library_signals() {
    for (int index = 0; index < library_signal_count(); ++index) {
        if (!library_caught[static_cast<std::size_t>(index)]) continue;
        kernel_sigaction(first_library_signal + index,
                         &library_previous[static_cast<std::size_t>(index)], nullptr);
        library_caught[static_cast<std::size_t>(index)] = false;
    }
}

void hold_library_signals() {
    std::array<unsigned long, mask_words> mask{};
    for (int index = 0; index < library_signal_count(); ++index) {
        const int bit = first_library_signal + index - 1;
        mask[static_cast<std::size_t>(bit) / (sizeof(unsigned long) * CHAR_BIT)] |=
            1UL << (static_cast<unsigned>(bit) % (sizeof(unsigned long) * CHAR_BIT));
    }
    syscall(SYS_rt_sigprocmask, SIG_BLOCK, mask.data(), nullptr, sizeof mask);
}

void set_default_action(int signal_number) {
    const kernel_action default_action;
    kernel_sigaction(signal_number, &default_action, nullptr);
}

}  // namespace console::platform
