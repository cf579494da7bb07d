// Test-only, preloaded into the program (LD_PRELOAD): its steady clock runs NEWTON_CLOCK_SPEED
// times as fast as the real one, and its waits for input last that many times less, so that a
// test sees a cap of 30 s take a second.

#include <dlfcn.h>
#include <poll.h>
#include <time.h>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::int64_t nanoseconds_per_second = 1'000'000'000;

std::int64_t speed() {
    static const char* const setting = std::getenv("NEWTON_CLOCK_SPEED");
    static const std::int64_t times = setting != nullptr ? std::atoll(setting) : 1;
    return times > 0 ? times : 1;
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
    if (result != 0 || clock != CLOCK_MONOTONIC) return result;
    static const std::int64_t start = nanoseconds(*time);
    *time = time_of(start + (nanoseconds(*time) - start) * speed());
    return result;
}

extern "C" int ppoll(pollfd* descriptors, nfds_t count, const timespec* timeout,
                     const sigset_t* mask) {
    using function = int (*)(pollfd*, nfds_t, const timespec*, const sigset_t*);
    static const auto real = reinterpret_cast<function>(dlsym(RTLD_NEXT, "ppoll"));
    if (timeout == nullptr) return real(descriptors, count, timeout, mask);
    const timespec shorter = time_of(nanoseconds(*timeout) / speed());
    return real(descriptors, count, &shorter, mask);
}
