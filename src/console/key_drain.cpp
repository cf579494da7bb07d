#include "console/key_drain.hpp"

#include <algorithm>

#include "console/key_decoder.hpp"

namespace console {

drain_plan drain_step(drain_state& state, const drain_event& event, drain_clock::time_point now) {
    if (event.what == drain_event::kind::key) {
        state = drain_state{};
        state.key_time = now;
        state.burst_start = now;
        state.last_bytes = now;
        state.markers = paste_markers(event.in_paste);
        state.continues = event.continues;
    }
    if (event.what == drain_event::kind::bytes) {
        state.last_bytes = now;
        if (!state.markers.in_paste() && event.bytes.size() > longest_key_sequence)
            state.paste_without_markers = true;
        for (const unsigned char byte : event.bytes) {
            if (!state.markers.push(byte)) continue;
            if (state.markers.in_paste()) {
                state.continues = event.continues;  // a continue before it is not this paste's
            } else {
                state.burst_start = now;
                state.paste_without_markers = false;
            }
        }
    }
    if (event.continues != state.continues) {
        state.continues = event.continues;
        if (state.markers.in_paste()) {
            state.markers.forget_paste();
            state.burst_start = now;
            state.last_bytes = now;
        }
    }
    if (!event.signal_held) {
        state.signal_deadline = drain_clock::time_point::max();
    } else if (state.signal_deadline == drain_clock::time_point::max()) {
        state.signal_deadline = now + signal_delay_cap;  // once: later wake-ups do not move it
    }
    const bool in_paste = state.markers.in_paste();
    const auto cap = in_paste ? std::min(state.key_time + paste_time_cap, state.signal_deadline)
                     : state.paste_without_markers ? state.key_time + paste_time_cap
                                                   : state.burst_start + burst_time_cap;
    if (now >= cap) return {true, cap, cap};
    return {false, in_paste ? cap : std::min(state.last_bytes + escape_wait, cap), cap};
}

}  // namespace console
