// The POSIX key wait's system side on macOS and the BSDs: select(), since macOS's poll() does not
// wait on terminals, with the terminal moved below FD_SETSIZE; every signal goes through
// sigaction().

#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>

#include "console/posix_system.hpp"

namespace console::platform {

int waitable_descriptor(int descriptor) {
    if (descriptor < FD_SETSIZE) return descriptor;
    // The lowest free descriptor from 3 up: below FD_SETSIZE unless all of those are taken.
    const int moved = fcntl(descriptor, F_DUPFD_CLOEXEC, 3);
    close(descriptor);
    if (moved >= FD_SETSIZE) {
        close(moved);
        return -1;
    }
    return moved;
}

int wait_for_input(int descriptor, const timespec* timeout, const sigset_t* mask) {
    // FD_SET past the set's end would write outside it: a failure instead.
    if (descriptor < 0 || descriptor >= FD_SETSIZE) {
        errno = EBADF;
        return -1;
    }
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(descriptor, &ready);
    return pselect(descriptor + 1, &ready, nullptr, nullptr, timeout, mask);
}

void catch_library_signals(void (*)(int)) {}

void release_library_signals() {}

void hold_library_signals() {}

void set_default_action(int signal_number) {
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal_number, &default_action, nullptr);
}

}  // namespace console::platform
