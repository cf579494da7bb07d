// The timing of the drain that follows a key press: how long the rest of its burst or paste is read
// and dropped. Pure: the wait reads the clock and the terminal and tells it what happened; it
// answers until when to wait for more, and from when nothing more is read, or that the drain is
// over.
#pragma once

#include <chrono>
#include <span>

#include "console/paste_markers.hpp"

namespace console {

using drain_clock = std::chrono::steady_clock;

// How long the rest of a key's sequence may take to arrive, and the quiet that ends a burst.
inline constexpr std::chrono::milliseconds escape_wait{50};
// A key held down would keep the burst going: it ends this long after the key.
inline constexpr std::chrono::seconds burst_time_cap{1};
// A paste is dropped up to its end marker, however slowly it comes, or while it keeps coming when
// it has no markers, but not for longer.
inline constexpr std::chrono::seconds paste_time_cap{30};
// A signal that comes during a paste waits for its end marker, but not for longer.
inline constexpr std::chrono::seconds signal_delay_cap{1};

struct drain_event {
    enum class kind {
        key,    // the key press was read: the drain begins
        bytes,  // a read brought `bytes`
        woke,   // the wait looks again: a signal came, or the process went on after a stop
    };
    kind what = kind::woke;
    bool in_paste = false;                 // key: it began a paste whose end has not come yet
    std::span<const unsigned char> bytes;  // bytes: what the read brought
    // How many times the process has been continued so far; for the key, when its paste began.
    unsigned continues = 0;
    bool signal_held = false;  // a signal that ends or stops the process waits for the paste's end
};

struct drain_state {
    drain_clock::time_point key_time;
    drain_clock::time_point burst_start;  // the key's, or a paste's end
    drain_clock::time_point last_bytes;
    drain_clock::time_point signal_deadline = drain_clock::time_point::max();
    bool paste_without_markers = false;
    unsigned continues = 0;
    paste_markers markers;
};

struct drain_plan {
    bool stop = false;
    drain_clock::time_point deadline;  // more bytes are awaited until then
    drain_clock::time_point cap;       // nothing more is read from then on
};

// Inside a bracketed paste: up to its end marker, for paste_time_cap from the key at most (and
// signal_delay_cap from a signal held meanwhile). Outside one: until the terminal has been quiet
// for escape_wait; for burst_time_cap at most from the key or the end of the paste when the bytes
// come a key at a time, as from a key held down; for paste_time_cap from the key when a read brings
// more than a key's bytes, as a paste from a terminal without markers does. A continue forgets a
// paste whose end marker the shell may have read meanwhile.
drain_plan drain_step(drain_state& state, const drain_event& event, drain_clock::time_point now);

}  // namespace console
