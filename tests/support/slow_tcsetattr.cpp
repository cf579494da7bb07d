// Test-only, preloaded into the program (LD_PRELOAD): tcsetattr takes NEWTON_SLOW_TCSETATTR_MS
// milliseconds before the change and as long after it, so that a signal sent meanwhile lands inside
// the window that a signal handler must not leave the terminal in.

#include <dlfcn.h>
#include <termios.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>

namespace {

// Sleeps the whole time, even when a signal handler runs meanwhile.
void pause_for(long milliseconds) {
    timespec until{};
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += milliseconds / 1000;
    until.tv_nsec += (milliseconds % 1000) * 1000000;
    if (until.tv_nsec >= 1000000000) {
        ++until.tv_sec;
        until.tv_nsec -= 1000000000;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace

extern "C" int tcsetattr(int fd, int action, const termios* mode) {
    using function = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "tcsetattr"));
    static const char* const setting = std::getenv("NEWTON_SLOW_TCSETATTR_MS");
    static const long milliseconds = setting != nullptr ? std::atol(setting) : 0;
    const int saved_errno = errno;
    pause_for(milliseconds);
    errno = saved_errno;
    const int result = real(fd, action, mode);
    const int error = errno;
    pause_for(milliseconds);
    errno = error;
    return result;
}
