// The key wait on a POSIX terminal: the controlling terminal in raw mode for as long as the wait
// lasts and the process is in the terminal's foreground, one key press read whole, and the rest of
// its burst or paste read and dropped, so that none of it reaches the shell. Every way out (the
// key, a failed read, a signal that ends or stops the process) puts the terminal's mode back.

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <span>

#include "console/key_decoder.hpp"
#include "console/key_drain.hpp"
#include "console/posix_system.hpp"
#include "console/terminal.hpp"
#include "console/terminal_posix.hpp"
#include "console/wait_signals_posix.hpp"

namespace console::platform {
namespace {

using clock = drain_clock;

// What read_until gives when a signal came and the caller asked to hear of it.
constexpr ssize_t interrupted = -2;

// Reads what the keyboard has, up to into.size() bytes, waiting until the deadline at most, with
// `mask` as the signal mask meanwhile (null: as it is): the count, 0 when nothing came in time, -1
// when the terminal hung up or failed; `interrupted` after a signal when `mask` is given. The time
// left is taken anew at every wake-up, so no stream of signals can stretch the wait; a deadline
// already past still looks once, so that a process that ran late does not take bytes waiting for
// it as the terminal's silence. With `mask`, a signal that came with the input acts before it is
// read (a wait that finds input lets none in), and past `cap` nothing more is read: 0.
ssize_t read_until(std::span<unsigned char> into, clock::time_point deadline,
                   const sigset_t* mask = nullptr,
                   clock::time_point cap = clock::time_point::max()) {
    const int keyboard = keyboard_device();
    for (;;) {
        timespec timeout{};
        const timespec* limit = nullptr;  // no deadline: as long as it takes
        if (deadline != clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::nanoseconds>(deadline - clock::now());
            const auto wait = std::max<std::int64_t>(left.count(), 0);
            timeout.tv_sec = static_cast<time_t>(wait / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(wait % 1'000'000'000);
            limit = &timeout;
        }
        const int ready = wait_for_input(keyboard, limit, mask);
        if (ready < 0 && errno != EINTR) return -1;
        if (ready < 0 && mask != nullptr) return interrupted;
        if (ready == 0 && limit != nullptr && clock::now() >= deadline) return 0;
        if (ready <= 0) continue;
        if (mask != nullptr) {
            let_signals_in(*mask);
            if (clock::now() >= cap) return 0;
        }
        const ssize_t got = read(keyboard, into.data(), into.size());
        if (got > 0) return got;
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return -1;  // end of file: the terminal hung up; or it failed
    }
}

struct key_press {
    int code = -1;           // -1: the terminal hung up or failed
    bool in_paste = false;   // the key is the first of a paste whose end has not come yet
    unsigned continues = 0;  // the continues counted when that paste began
};

// Reads byte by byte until the bytes make a key with a code, so that nothing after it is taken. A
// paste ends the wait as a key press does: its first key is the key.
key_press read_key_press() {
    const character_length length = locale_character_length();
    std::array<unsigned char, 64> pending{};
    std::size_t size = 0;
    key_press press;
    for (;;) {
        if (size == 0) {
            if (read_until({pending.data(), 1}, clock::time_point::max()) != 1) return {};
            size = 1;
        }
        const std::span<const unsigned char> bytes(pending.data(), size);
        decoded_key decoded = decode_key(bytes, true, length);
        if (decoded.what == decoded_key::kind::need_more) {
            if (size < pending.size()) {
                const ssize_t got = read_until({&pending[size], 1}, clock::now() + escape_wait);
                if (got < 0) return {};
                if (got == 1) {
                    ++size;
                    continue;
                }
            }
            decoded = decode_key(bytes, false, length);
        }
        if (decoded.what == decoded_key::kind::paste_start) {
            press.in_paste = true;
            press.continues = continue_count();  // a continue from now on may let its end go
        }
        if (decoded.what == decoded_key::kind::paste_end) press.in_paste = false;
        press.code = key_press_code(decoded, bytes, cp1251_code);
        if (press.code >= 0) return press;
        // Not a key we have a code for: drop its bytes and go on waiting.
        const std::size_t used = std::max<std::size_t>(decoded.used, 1);
        std::memmove(pending.data(), pending.data() + used, size - used);
        size -= used;
    }
}

// Reads and drops whatever comes with the key, so that the rest of a paste never reaches the shell
// as commands, for as long as drain_step says; whatever is queued then is discarded.
void drop_rest_of_burst(const key_press& press) {
    drain_scope drain(press.in_paste);
    drain_state state;
    drain_step(state, {drain_event::kind::key, press.in_paste, {}, press.continues}, clock::now());
    drain_event event;  // first, the wait looks at what came since the key
    std::array<unsigned char, 4096> block{};
    for (;;) {
        event.continues = continue_count();
        event.signal_held = drain.signal_held();
        const drain_plan plan = drain_step(state, event, clock::now());
        drain.set_in_paste(state.markers.in_paste());
        // Outside a paste a held signal acts now; when the process goes on, the drain looks again.
        if (!state.markers.in_paste() && drain.act_on_held_signal()) {
            event = {};
            continue;
        }
        if (plan.stop) break;
        const ssize_t got = read_until(block, plan.deadline, drain.open(), plan.cap);
        if (got == interrupted) {
            event = {};
            continue;
        }
        if (got <= 0) break;
        event = {drain_event::kind::bytes, false, {block.data(), static_cast<std::size_t>(got)}};
    }
}

}  // namespace

int read_key_code() {
    // select() takes no descriptor from FD_SETSIZE up: the terminal is moved below it first.
    if (waitable_keyboard() < 0) return -1;
    raw_mode_guard raw;
    if (!raw.active()) return raw.mode_back() ? -1 : mode_not_restored;
    const key_press press = read_key_press();
    if (press.code >= 0) drop_rest_of_burst(press);
    if (!raw.restore()) return mode_not_restored;
    if (press.code >= 0) {
        // The shell's prompt starts on a line of its own, not after the closing text.
        [[maybe_unused]] const ssize_t ignored = write(keyboard_device(), "\n", 1);
    }
    return press.code;
}

}  // namespace console::platform
