// The key wait on a POSIX terminal: the controlling terminal in raw mode for as long as the wait
// lasts and the process is in the terminal's foreground, one key press read whole, and the rest of
// its burst or paste read and dropped, so that none of it reaches the shell. Every way out (the
// key, a failed read, a signal that ends or stops the process) puts the terminal's mode back.

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>

#include "console/key_decoder.hpp"
#include "console/posix_system.hpp"
#include "console/terminal.hpp"
#include "console/terminal_posix.hpp"

namespace console::platform {
namespace {

using clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long the rest of a key's sequence may take to arrive, and the quiet that ends a burst.
constexpr auto escape_wait = 50ms;
// A key held down would keep the burst going: it ends this long after the key.
constexpr auto burst_time_cap = 1s;
// A paste is dropped up to its end marker, however slowly it comes, or while it keeps coming when
// it has no markers, but not for longer.
constexpr auto paste_time_cap = 30s;
// A signal that comes during a paste waits for its end marker, but not for longer.
constexpr auto signal_delay_cap = 1s;

// Bracketed-paste mode: while it is on, the terminal marks a paste with ESC [ 200 ~ … ESC [ 201 ~.
// A terminal that shows escape sequences as text (TERM unset, empty or dumb) is not switched.
constexpr std::string_view paste_mode_on = "\x1b[?2004h";
constexpr std::string_view paste_mode_off = "\x1b[?2004l";
std::string_view paste_switch_on;
std::string_view paste_switch_off;

int keyboard = -1;

// Shared with the signal handlers, which act only while `waiting` is set: the mode to put back, the
// raw mode made from it, and whether the raw mode may be in force (set before it is switched on,
// cleared only once the saved mode is back).
termios saved_mode{};
termios raw_mode{};
volatile std::sig_atomic_t waiting = 0;
volatile std::sig_atomic_t raw_in_force = 0;

// What the drain after the key is doing, for the handlers: a signal that ends or stops the process
// during a bracketed paste is held for the drain to act on once the paste has ended, so that its
// rest is read and dropped first; during any drain the input queue is flushed before the mode
// goes back. A continue tells the drain that a paste's end marker may have gone to the shell.
enum drain_state : std::sig_atomic_t { no_drain, burst_drain, paste_drain };
volatile std::sig_atomic_t draining = no_drain;
volatile std::sig_atomic_t held_signal = 0;
volatile std::sig_atomic_t continued = 0;

// Every signal whose default action ends the process (SIGKILL cannot be caught), with those only
// some systems have (Linux's SIGSTKFLT and SIGPWR) where they exist, and the real-time signals,
// SIGRTMIN to SIGRTMAX, added where they are caught.
// clang-format off
constexpr int ending_signals[] = {
    SIGHUP,    SIGINT,    SIGQUIT,   SIGILL,    SIGTRAP,   SIGABRT,   SIGBUS,    SIGFPE,
    SIGUSR1,   SIGSEGV,   SIGUSR2,   SIGPIPE,   SIGALRM,   SIGTERM,   SIGXCPU,   SIGXFSZ,
    SIGVTALRM, SIGPROF,   SIGIO,     SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
// The signals that stop the process and can be caught.
constexpr std::array<int, 3> stopping_signals = {SIGTSTP, SIGTTIN, SIGTTOU};
// clang-format on

// The signals the wait catches: the ending ones, the real-time ones, the stopping ones and SIGCONT.
template <class Visit>
void for_each_caught_signal(Visit visit) {
    for (const int signal_number : ending_signals) visit(signal_number);
#ifdef SIGRTMIN
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
        visit(signal_number);
#endif
    for (const int signal_number : stopping_signals) visit(signal_number);
    visit(SIGCONT);
}

bool is_stopping(int signal_number) {
    return std::find(stopping_signals.begin(), stopping_signals.end(), signal_number) !=
           stopping_signals.end();
}

sigset_t caught_signals() {
    sigset_t set{};
    sigemptyset(&set);
    for_each_caught_signal([&set](int signal_number) { sigaddset(&set, signal_number); });
    return set;
}

sigset_t only(int signal_number) {
    sigset_t set{};
    sigemptyset(&set);
    sigaddset(&set, signal_number);
    return set;
}

termios raw_from(const termios& mode) {
    termios raw = mode;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);  // bytes as they come, not whole lines
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO);    // the key press is not shown
    raw.c_lflag &= ~static_cast<tcflag_t>(ISIG);    // Ctrl+C, Ctrl+\ and Ctrl+Z arrive as keys
    raw.c_lflag &= ~static_cast<tcflag_t>(IEXTEN);  // Ctrl+V and Ctrl+O arrive as keys
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON);    // Ctrl+S and Ctrl+Q arrive as keys
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL);   // Enter arrives as CR
    raw.c_iflag &= ~static_cast<tcflag_t>(INLCR);   // Ctrl+J arrives as LF
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNCR);   // CR is not dropped
    raw.c_cc[VMIN] = 1;                             // a read returns as soon as one byte is there
    raw.c_cc[VTIME] = 0;                            // with no timer: the wait does the timing
    return raw;
}

bool same_mode(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

bool in_foreground() {
    return tcgetpgrp(keyboard) == getpgrp();
}

// Sets the mode and writes the bracketed-paste switch with SIGTTOU held off: the mode must go back
// even from a process that has been moved to the background meanwhile (switching it on happens only
// in the foreground, checked just before). Safe in a signal handler.
bool set_mode(const termios& mode, std::string_view paste_switch) {
    const sigset_t ttou = only(SIGTTOU);
    sigset_t previous{};
    sigprocmask(SIG_BLOCK, &ttou, &previous);
    if (!paste_switch.empty()) {
        [[maybe_unused]] const ssize_t written =
            write(keyboard, paste_switch.data(), paste_switch.size());
    }
    const bool set = tcsetattr(keyboard, TCSANOW, &mode) == 0;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return set;
}

// TCSANOW keeps whatever was typed ahead.
bool switch_to_raw_mode() {
    raw_in_force = 1;
    return set_mode(raw_mode, paste_switch_on);
}

// Puts the saved mode back if the raw mode may be in force; true when the saved mode is in force.
bool put_back_saved_mode() {
    if (raw_in_force == 0) return true;
    if (!set_mode(saved_mode, paste_switch_off)) return false;
    raw_in_force = 0;
    return true;
}

// After a stop, in the foreground: raw mode again. A mode that someone else set meanwhile (a shell
// puts its own back when a job stops) becomes the one to put back at the end. In the background
// the terminal is the shell's and is left alone; reading it stops the process until it is brought
// back, and the continue comes here again.
void resume_raw_mode() {
    if (waiting == 0 || !in_foreground()) return;
    termios current{};
    if (tcgetattr(keyboard, &current) != 0) return;
    if (!same_mode(current, raw_mode)) {
        saved_mode = current;
        raw_mode = raw_from(current);
    }
    switch_to_raw_mode();
}

// During a bracketed paste's drain: true, and the signal is held for the drain (one that ends the
// process before one that stops it). During another drain, the input queue is dropped.
bool held_for_the_drain(int signal_number) {
    if (draining == paste_drain) {
        if (held_signal == 0 || is_stopping(held_signal)) held_signal = signal_number;
        return true;
    }
    if (draining == burst_drain) tcflush(keyboard, TCIFLUSH);
    return false;
}

// A signal that ends the process during the wait: the terminal's mode goes back, then the default
// action, and the signal again, delivered as the handler returns: the process ends by it, with a
// core dump where that is the default. Every caught signal is held off meanwhile, a second copy of
// this one too, so nothing can end the process halfway; nor can a continue that comes meanwhile
// make the mode raw again.
void end_by_signal(int signal_number) {
    const int saved_errno = errno;
    if (held_for_the_drain(signal_number)) {
        errno = saved_errno;
        return;
    }
    waiting = 0;
    put_back_saved_mode();
    set_default_action(signal_number);
    kill(getpid(), signal_number);
}

void on_continue(int) {
    const int saved_errno = errno;
    continued = 1;
    resume_raw_mode();
    errno = saved_errno;
}

void stop_with_mode_put_back(int signal_number);

// How the wait handles a signal it catches: with every caught signal held off while it runs.
struct sigaction wait_action(int signal_number) {
    struct sigaction action {};
    action.sa_mask = caught_signals();
    if (is_stopping(signal_number)) {
        action.sa_handler = stop_with_mode_put_back;
    } else if (signal_number == SIGCONT) {
        action.sa_handler = on_continue;
    } else {
        action.sa_handler = end_by_signal;
    }
    return action;
}

// SIGTSTP (kill -TSTP; Ctrl+Z itself is a key in raw mode), and SIGTTIN or SIGTTOU (kill, or a
// read from the background): the terminal goes back to its mode, then the process stops with the
// default action. It goes on here after SIGCONT, or at once in an orphaned process group, whose
// stops the kernel drops; either way the wait goes on, raw again in the foreground.
void stop_with_mode_put_back(int signal_number) {
    const int saved_errno = errno;
    if (held_for_the_drain(signal_number)) {
        errno = saved_errno;
        return;
    }
    put_back_saved_mode();
    set_default_action(signal_number);
    kill(getpid(), signal_number);  // pending: the handler runs with it held off
    const sigset_t stop = only(signal_number);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // stops here
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    const struct sigaction again = wait_action(signal_number);
    sigaction(signal_number, &again, nullptr);
    resume_raw_mode();
    errno = saved_errno;
}

// Holds every signal off while the shared state and the handlers change.
class signal_block {
  public:
    signal_block() {
        sigset_t all{};
        sigfillset(&all);
        sigprocmask(SIG_BLOCK, &all, &previous_);
    }
    ~signal_block() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
    signal_block(const signal_block&) = delete;
    signal_block& operator=(const signal_block&) = delete;

  private:
    sigset_t previous_{};
};

// A process in the background must not touch the terminal. It reads it as any background job does
// (with no bytes asked for): the kernel stops it by SIGTTIN until it is brought to the foreground,
// or, where it cannot stop (SIGTTIN ignored, an orphaned process group), the read fails: false.
bool reach_foreground() {
    unsigned char none = 0;
    for (;;) {
        if (read(keyboard, &none, 0) == 0) return in_foreground();
        if (errno != EINTR) return false;
    }
}

// Raw mode for one wait: switched on by the constructor, put back by restore() or the destructor,
// and by the handlers when a signal ends or stops the process meanwhile.
class raw_mode_guard {
  public:
    raw_mode_guard() {
        if (keyboard < 0) return;
        for (;;) {
            if (!reach_foreground() || tcgetattr(keyboard, &saved_mode) != 0) return;
            raw_mode = raw_from(saved_mode);
            const signal_block block;
            if (!in_foreground()) continue;  // sent to the background meanwhile: stop again
            catch_signals();
            waiting = 1;
            if (!switch_to_raw_mode()) {
                put_back_saved_mode();
                waiting = 0;
                release_signals();
                return;
            }
            active_ = true;
            return;
        }
    }
    ~raw_mode_guard() { restore(); }
    raw_mode_guard(const raw_mode_guard&) = delete;
    raw_mode_guard& operator=(const raw_mode_guard&) = delete;

    bool active() const { return active_; }

    // Puts the saved mode back once; true when it is in force again.
    bool restore() {
        if (!active_) return true;
        active_ = false;
        const signal_block block;
        waiting = 0;
        const bool restored = put_back_saved_mode();
        release_signals();
        return restored;
    }

  private:
    void catch_signals() {
        for_each_caught_signal([this](int signal_number) {
            const struct sigaction action = wait_action(signal_number);
            struct sigaction& previous = previous_[static_cast<std::size_t>(signal_number)];
            sigaction(signal_number, nullptr, &previous);
            // A signal the user chose to ignore (nohup, a background job) stays ignored; SIGCONT
            // continues the process whatever its action, so raw mode must come back regardless.
            if (previous.sa_handler != SIG_IGN || signal_number == SIGCONT)
                sigaction(signal_number, &action, nullptr);
        });
        catch_library_signals(end_by_signal);
    }
    void release_signals() {
        release_library_signals();
        for_each_caught_signal([this](int signal_number) {
            sigaction(signal_number, &previous_[static_cast<std::size_t>(signal_number)], nullptr);
        });
    }

    std::array<struct sigaction, NSIG> previous_{};
    bool active_ = false;
};

// What read_until gives when a signal came and the caller asked to hear of it.
constexpr ssize_t interrupted = -2;

// Lets in, now, the signals the drain holds off while it does not wait.
void let_signals_in(const sigset_t& mask) {
    sigset_t held{};
    sigprocmask(SIG_SETMASK, &mask, &held);
    sigprocmask(SIG_SETMASK, &held, nullptr);
    hold_library_signals();
}

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
    int code = -1;          // -1: the terminal hung up or failed
    bool in_paste = false;  // the key is the first of a paste whose end has not come yet
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
            continued = 0;  // a continue from now on may have let its end go to the shell
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

// Follows the bracketed-paste markers, ESC [ 200 ~ and ESC [ 201 ~, through a stream of bytes.
class paste_markers {
  public:
    explicit paste_markers(bool in_paste) : in_paste_(in_paste) {}

    bool in_paste() const { return in_paste_; }

    // The paste's end marker went elsewhere (to the shell, while the process was stopped).
    void forget_paste() {
        in_paste_ = false;
        matched_ = 0;
    }

    // True when the byte ends a marker.
    bool push(unsigned char byte) {
        constexpr std::string_view common = "\x1b[20";  // then '0' (start) or '1' (end), then '~'
        bool ended = false;
        if (matched_ < common.size()) {
            matched_ = byte == static_cast<unsigned char>(common[matched_]) ? matched_ + 1 : 0;
        } else if (matched_ == common.size() && (byte == '0' || byte == '1')) {
            starts_ = byte == '0';
            ++matched_;
        } else {
            if (matched_ > common.size() && byte == '~') {
                in_paste_ = starts_;
                ended = true;
            }
            matched_ = 0;
        }
        if (matched_ == 0 && byte == '\x1b') matched_ = 1;  // ESC begins a marker only at its start
        return ended;
    }

  private:
    bool in_paste_;
    bool starts_ = false;
    std::size_t matched_ = 0;
};

// The drain, as the handlers see it: every caught signal is held off but while it waits for
// input, so that a signal is seen before the next wait; and on its way out whatever is queued
// goes, then a signal held back for a paste's end acts: the process ends or stops there.
class drain_scope {
  public:
    explicit drain_scope(bool in_paste) {
        const sigset_t caught = caught_signals();
        sigprocmask(SIG_BLOCK, &caught, &open_);
        hold_library_signals();
        draining = in_paste ? paste_drain : burst_drain;
    }
    ~drain_scope() {
        tcflush(keyboard, TCIFLUSH);
        draining = burst_drain;
        act_on_held_signal();
        draining = no_drain;
        sigprocmask(SIG_SETMASK, &open_, nullptr);
    }
    drain_scope(const drain_scope&) = delete;
    drain_scope& operator=(const drain_scope&) = delete;

    // The signal mask while the drain waits for input.
    const sigset_t* open() const { return &open_; }

    // Outside a paste, a held signal is delivered again, now to act: the queue flushed, the mode
    // put back, the process ended or stopped (and, continued, the drain goes on).
    void act_on_held_signal() {
        const int signal_number = held_signal;
        if (signal_number == 0) return;
        held_signal = 0;
        tcflush(keyboard, TCIFLUSH);
        kill(getpid(), signal_number);
        let_signals_in(open_);  // delivered here
    }

  private:
    sigset_t open_{};
};

// Reads and drops whatever comes with the key, so that the rest of a paste never reaches the shell
// as commands. Inside a bracketed paste, up to its end marker, for paste_time_cap from the key at
// most (and 1 s from a signal that came meanwhile). Outside one, until the terminal has been quiet
// for the escape wait: for burst_time_cap at most from the key or the end of the paste when the
// bytes come a key at a time, as from a key held down; for paste_time_cap from the key when a read
// brings more than a key's bytes, as a paste from a terminal without markers does. Whatever is
// queued then is discarded. A continue forgets a paste whose end marker the shell may have read.
void drop_rest_of_burst(bool in_paste) {
    drain_scope drain(in_paste);
    const auto key_time = clock::now();
    auto burst_start = key_time;
    auto last_bytes = key_time;
    auto signal_deadline = clock::time_point::max();
    bool paste_without_markers = false;
    paste_markers markers(in_paste);
    std::array<unsigned char, 4096> block{};
    for (;;) {
        if (continued != 0) {
            continued = 0;
            if (markers.in_paste()) {
                markers.forget_paste();
                burst_start = clock::now();
                last_bytes = burst_start;
            }
        }
        draining = markers.in_paste() ? paste_drain : burst_drain;
        if (!markers.in_paste()) drain.act_on_held_signal();
        if (held_signal != 0 && signal_deadline == clock::time_point::max())
            signal_deadline = clock::now() + signal_delay_cap;
        // Past a cap nothing more is read: what is queued is discarded.
        const auto cap = markers.in_paste()
                             ? std::min(key_time + paste_time_cap, signal_deadline)
                             : (paste_without_markers ? key_time + paste_time_cap
                                                      : burst_start + burst_time_cap);
        if (clock::now() >= cap) break;
        const auto deadline = markers.in_paste() ? cap : std::min(last_bytes + escape_wait, cap);
        const ssize_t got = read_until(block, deadline, drain.open(), cap);
        if (got == interrupted) continue;
        if (got <= 0) break;
        last_bytes = clock::now();
        if (!markers.in_paste() && static_cast<std::size_t>(got) > longest_key_sequence)
            paste_without_markers = true;
        for (const unsigned char byte : std::span(block.data(), static_cast<std::size_t>(got))) {
            if (!markers.push(byte)) continue;
            if (markers.in_paste()) {
                continued = 0;
            } else {
                burst_start = last_bytes;
                paste_without_markers = false;
            }
        }
    }
}

}  // namespace

int read_key_code() {
    keyboard = keyboard_device();
    const char* terminal = std::getenv("TERM");
    const bool shows_sequences =
        terminal != nullptr && *terminal != '\0' && std::string_view(terminal) != "dumb";
    paste_switch_on = shows_sequences ? paste_mode_on : std::string_view();
    paste_switch_off = shows_sequences ? paste_mode_off : std::string_view();
    raw_mode_guard raw;
    if (!raw.active()) return -1;
    const key_press press = read_key_press();
    if (press.code >= 0) drop_rest_of_burst(press.in_paste);
    if (!raw.restore()) return -1;
    if (press.code >= 0) {
        // The shell's prompt starts on a line of its own, not after the closing text.
        [[maybe_unused]] const ssize_t ignored = write(keyboard, "\n", 1);
    }
    return press.code;
}

}  // namespace console::platform
