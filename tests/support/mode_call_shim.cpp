// Test-only, preloaded into the program (LD_PRELOAD), the calls on the terminal's mode made to
// misbehave at a point a test names:
// - NEWTON_STOP_IN_TCSETATTR: the call of tcsetattr with that number (1: the first) stops the
//   process (SIGSTOP) before the change, so that a test can send signals into the window that a
//   signal handler must not leave the terminal in, and then continue it;
// - NEWTON_FAIL_TCSETATTR_FROM: the call of tcsetattr with that number and every later one fails
//   (EINVAL), leaving the mode as it is;
// - NEWTON_STOP_IN_TCGETATTR: the first tcgetattr stops the process once it has read the mode,
//   so that a test can change the terminal's foreground job meanwhile and then continue it.

#include <dlfcn.h>
#include <termios.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

namespace {

long setting(const char* name) {
    const char* const value = std::getenv(name);
    return value != nullptr ? std::atol(value) : 0;
}

}  // namespace

extern "C" int tcsetattr(int fd, int action, const termios* mode) {
    using function = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "tcsetattr"));
    static const long stopping = setting("NEWTON_STOP_IN_TCSETATTR");
    static const long failing_from = setting("NEWTON_FAIL_TCSETATTR_FROM");
    static volatile std::sig_atomic_t calls = 0;
    calls = calls + 1;
    if (failing_from > 0 && calls >= failing_from) {
        errno = EINVAL;
        return -1;
    }
    if (calls == stopping) {
        const int error = errno;
        raise(SIGSTOP);
        errno = error;
    }
    return real(fd, action, mode);
}

extern "C" int tcgetattr(int fd, termios* mode) {
    using function = int (*)(int, termios*);
    static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "tcgetattr"));
    static const bool stop = setting("NEWTON_STOP_IN_TCGETATTR") != 0;
    static volatile std::sig_atomic_t stopped = 0;
    const int result = real(fd, mode);
    if (stop && stopped == 0) {
        stopped = 1;
        const int error = errno;
        raise(SIGSTOP);
        errno = error;
    }
    return result;
}
