// The drain's timing after a key press, with no clock and no terminal: what happened when, and
// until when the wait reads on, or whether it stops.

#include "console/key_drain.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <utility>
#include <vector>

#include "console/key_decoder.hpp"

namespace {

using namespace std::chrono_literals;
using console::drain_event;
using kind = drain_event::kind;
using ms = std::chrono::milliseconds;

drain_event key(bool in_paste, unsigned continues = 0) {
    return {kind::key, in_paste, {}, continues};
}
drain_event bytes(std::string_view read, unsigned continues = 0, bool signal_held = false) {
    return {kind::bytes,
            false,
            {reinterpret_cast<const unsigned char*>(read.data()), read.size()},
            continues,
            signal_held};
}
drain_event woke(unsigned continues = 0, bool signal_held = false) {
    return {kind::woke, false, {}, continues, signal_held};
}

const std::string more_than_a_key(console::longest_key_sequence + 1, 'x');

struct drain_case {
    const char* name;
    std::vector<std::pair<ms, drain_event>> steps;  // each at its time from the key
    bool stops;
    ms deadline{0};  // after the last step, when it does not stop
    ms cap{0};
};

TEST(DrainStep, ReadsOnUntilTheQuietOrTheCapThatFits) {
    const drain_case cases[] = {
        {"a key alone: 50 ms of quiet", {{0ms, key(false)}}, false, 50ms, 1s},
        {"a key held down: 50 ms after its last repeat",
         {{0ms, key(false)}, {20ms, bytes("x")}},
         false,
         70ms,
         1s},
        {"a key held down: the quiet ends at the cap",
         {{0ms, key(false)}, {980ms, bytes("x")}},
         false,
         1s,
         1s},
        {"a wake-up by a signal keeps the quiet from the last bytes",
         {{0ms, key(false)}, {30ms, woke()}},
         false,
         50ms,
         1s},
        {"a key held 1.2 s stops at 1 s", {{0ms, key(false)}, {1s, bytes("x")}}, true},
        {"more than a key's bytes in a read, a paste without markers: 30 s from the key",
         {{0ms, key(false)}, {10ms, bytes(more_than_a_key)}, {1500ms, bytes("x")}},
         false,
         1550ms,
         30s},
        {"a bracketed paste is read up to its end, however slowly it comes",
         {{0ms, key(true)}, {10s, bytes("ls\r")}},
         false,
         30s,
         30s},
        {"a paste whose end never comes stops at 30 s", {{0ms, key(true)}, {30s, woke()}}, true},
        {"after a paste's end, a burst's quiet and cap from the end",
         {{0ms, key(true)}, {5s, bytes("ls\r\x1b[201~")}},
         false,
         5050ms,
         6s},
        {"an end marker split across reads",
         {{0ms, key(true)}, {100ms, bytes("\x1b[20")}, {200ms, bytes("1~")}},
         false,
         250ms,
         1200ms},
        {"a paste that begins after the key",
         {{0ms, key(false)}, {10ms, bytes("\x1b[200~")}},
         false,
         30s,
         30s},
        {"a continue forgets the paste: its end may have gone to the shell",
         {{0ms, key(true)}, {500ms, woke(1)}},
         false,
         550ms,
         1500ms},
        {"a continue before the paste began is not its",
         {{0ms, key(true, 1)}, {100ms, woke(1)}},
         false,
         30s,
         30s},
        {"a continue during the read that began a paste is not its",
         {{0ms, key(false)}, {20ms, bytes("\x1b[200~", 1)}, {40ms, woke(1)}},
         false,
         30s,
         30s},
        {"a signal held during a paste: 1 s from the signal, however the paste keeps coming",
         {{0ms, key(true)}, {100ms, woke(0, true)}, {600ms, bytes("ls\r", 0, true)}},
         false,
         1100ms,
         1100ms},
        {"a signal held during a paste ends it at 1 s",
         {{0ms, key(true)}, {100ms, woke(0, true)}, {1100ms, woke(0, true)}},
         true},
    };
    const console::drain_clock::time_point start{};
    for (const drain_case& c : cases) {
        SCOPED_TRACE(c.name);
        console::drain_state state;
        console::drain_plan plan;
        for (const auto& [at, event] : c.steps)
            plan = console::drain_step(state, event, start + at);
        EXPECT_EQ(plan.stop, c.stops);
        if (c.stops) continue;
        EXPECT_EQ(plan.deadline - start, c.deadline);
        EXPECT_EQ(plan.cap - start, c.cap);
    }
}

}  // namespace
