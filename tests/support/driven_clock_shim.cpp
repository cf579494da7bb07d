// Test-only, preloaded into the program (LD_PRELOAD): its steady clock is driven by the test. The
// file NEWTON_CLOCK_FILE holds a driven_clock_state (driven_clock.hpp), shared with the test: the
// program's CLOCK_MONOTONIC stands still at the time the test has set, and each wait for input
// says until when it waits and ends, with nothing to read, once the test has set the clock there;
// and every read from a terminal is counted.

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "driven_clock.hpp"

namespace {

constexpr std::int64_t nanoseconds_per_second = 1'000'000'000;

testing_support::driven_clock_state* shared_state() {
    static testing_support::driven_clock_state* const state = [] {
        const char* const path = std::getenv("NEWTON_CLOCK_FILE");
        const int file = path != nullptr ? open(path, O_RDWR | O_CLOEXEC) : -1;
        if (file < 0) return static_cast<testing_support::driven_clock_state*>(nullptr);
        void* const mapped = mmap(nullptr, sizeof(testing_support::driven_clock_state),
                                  PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        close(file);
        return mapped == MAP_FAILED ? nullptr
                                    : static_cast<testing_support::driven_clock_state*>(mapped);
    }();
    return state;
}

std::int64_t nanoseconds(const timespec& time) {
    return time.tv_sec * nanoseconds_per_second + time.tv_nsec;
}

timespec time_of(std::int64_t nanoseconds) {
    return {static_cast<time_t>(nanoseconds / nanoseconds_per_second),
            static_cast<long>(nanoseconds % nanoseconds_per_second)};
}

}  // namespace

extern "C" int clock_gettime(clockid_t clock, timespec* time) {
    using function = int (*)(clockid_t, timespec*);
    static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "clock_gettime"));
    const int result = real(clock, time);
    testing_support::driven_clock_state* const state = shared_state();
    if (result != 0 || clock != CLOCK_MONOTONIC || state == nullptr) return result;
    static const std::int64_t start = nanoseconds(*time);
    *time = time_of(start + state->now.load());
    return result;
}

extern "C" int ppoll(pollfd* descriptors, nfds_t count, const timespec* timeout,
                     const sigset_t* mask) {
    using function = int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*);
    static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "ppoll"));
    testing_support::driven_clock_state* const state = shared_state();
    if (state == nullptr) return real(descriptors, count, timeout, mask);
    const std::int64_t deadline =
        timeout != nullptr ? state->now.load() + nanoseconds(*timeout) : INT64_MAX;
    state->deadline.store(deadline);
    state->waits.fetch_add(1);
    if (timeout == nullptr) return real(descriptors, count, nullptr, mask);
    // Looks at least once, then every 2 ms of real time until the test has set the clock there.
    for (;;) {
        const bool due = state->now.load() >= deadline;
        const timespec slice = time_of(due ? 0 : 2'000'000);
        const int ready = real(descriptors, count, &slice, mask);
        if (ready != 0 || due) return ready;
    }
}

extern "C" ssize_t read(int descriptor, void* into, size_t size) {
    using function = ssize_t (*)(int, void*, size_t);
    static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "read"));
    const ssize_t got = real(descriptor, into, size);
    testing_support::driven_clock_state* const state = shared_state();
    if (got > 0 && state != nullptr) {
        const int error = errno;
        if (isatty(descriptor) == 1) state->bytes_read.fetch_add(got);
        errno = error;
    }
    return got;
}
