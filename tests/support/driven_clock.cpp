#include "support/driven_clock.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

#include "support/process.hpp"

namespace testing_support {

using namespace std::chrono_literals;

driven_clock::driven_clock() {
    std::string pattern = "/tmp/newton-clock-XXXXXX";
    const int file = mkstemp(pattern.data());
    if (file < 0 || ftruncate(file, sizeof(driven_clock_state)) != 0) std::abort();
    void* const mapped =
        mmap(nullptr, sizeof(driven_clock_state), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
    close(file);
    if (mapped == MAP_FAILED) std::abort();
    state_ = new (mapped) driven_clock_state;
    path_ = pattern;
}

driven_clock::~driven_clock() {
    munmap(state_, sizeof(driven_clock_state));
    unlink(path_.c_str());
}

std::vector<std::string> driven_clock::environment(const std::string& also) const {
    return {"LD_PRELOAD=" DRIVEN_CLOCK_SHIM + (also.empty() ? "" : ":" + also),
            "NEWTON_CLOCK_FILE=" + path_};
}

std::chrono::milliseconds driven_clock::now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::nanoseconds(state_->now.load()));
}

void driven_clock::set(std::chrono::milliseconds time) {
    state_->now.store(std::chrono::nanoseconds(time).count());
}

std::int64_t driven_clock::waits() const {
    return state_->waits.load();
}

bool driven_clock::waits_for_input_only() const {
    return state_->deadline.load() == INT64_MAX;
}

bool driven_clock::has_read(std::int64_t count) const {
    for (int tries = 0; tries < 5000 && state_->bytes_read.load() < count; ++tries)
        std::this_thread::sleep_for(1ms);
    return state_->bytes_read.load() >= count;
}

bool driven_clock::waits_again(std::int64_t seen, running_program& program) const {
    for (int tries = 0; tries < 5000; ++tries) {
        if (state_->waits.load() != seen || program.ended_within(0ms)) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

bool driven_clock::run_until_end(running_program& program, std::chrono::milliseconds limit) {
    while (!program.ended_within(0ms)) {
        const std::int64_t seen = state_->waits.load();
        const std::int64_t deadline = state_->deadline.load();
        if (deadline == INT64_MAX || deadline > std::chrono::nanoseconds(limit).count())
            return false;
        if (deadline > state_->now.load()) state_->now.store(deadline);
        if (!waits_again(seen, program)) return false;
    }
    return true;
}

}  // namespace testing_support
