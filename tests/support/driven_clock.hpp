// The program's steady clock driven by the test, through the preloaded driven_clock_shim: the clock
// stands still until the test sets it, so that no pause of a busy machine is the program's time;
// and the test learns when the program has read what was typed.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class running_program;

// Shared between the test and the program, in a file both map.
struct driven_clock_state {
    // Nanoseconds from the program's first look; the test sets it.
    std::atomic<std::int64_t> now{0};
    std::atomic<std::int64_t> waits{0};     // how many waits for input the program has begun
    std::atomic<std::int64_t> deadline{0};  // until when its last wait waits (INT64_MAX: for input)
    std::atomic<std::int64_t> bytes_read{0};  // how many bytes it has read from terminals
};

class driven_clock {
  public:
    driven_clock();
    ~driven_clock();
    driven_clock(const driven_clock&) = delete;
    driven_clock& operator=(const driven_clock&) = delete;

    // The environment entries that give the program this clock, and preload `also` with it.
    std::vector<std::string> environment(const std::string& also = "") const;

    std::chrono::milliseconds now() const;
    void set(std::chrono::milliseconds time);

    // How many waits the program has begun so far.
    std::int64_t waits() const;

    // Whether the program's last wait waits for input with no deadline, as the wait for a key does.
    bool waits_for_input_only() const;

    // Waits until the program has read `count` bytes from the terminal in all: false after 5 s.
    bool has_read(std::int64_t count) const;

    // Waits until the program has begun a wait after the first `seen`, or ended: false after 5 s.
    bool waits_again(std::int64_t seen, running_program& program) const;

    // Sets the clock to the end of each wait of the program's in turn, until it ends; false when
    // it waits for input with no deadline, or does not end by `limit`.
    bool run_until_end(running_program& program, std::chrono::milliseconds limit);

  private:
    std::string path_;
    driven_clock_state* state_ = nullptr;
};

}  // namespace testing_support
