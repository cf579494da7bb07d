// Test-only, preloaded into the program (LD_PRELOAD): every read of a terminal first pauses
// NEWTON_SLOW_READ_MS milliseconds, so that what a paste sends waits in the terminal's queue, and a
// pause of the sender's shorter than the queue lasts is no quiet to the program.

#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern "C" ssize_t read(int descriptor, void* into, size_t size) {
    using function = ssize_t (*)(int, void*, size_t);
    static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "read"));
    static const char* const setting = std::getenv("NEWTON_SLOW_READ_MS");
    static const long milliseconds = setting != nullptr ? std::atol(setting) : 0;
    const int saved_errno = errno;
    if (milliseconds > 0 && isatty(descriptor) == 1) {
        const timespec pause{milliseconds / 1000, (milliseconds % 1000) * 1000000};
        nanosleep(&pause, nullptr);
    }
    errno = saved_errno;
    return real(descriptor, into, size);
}
