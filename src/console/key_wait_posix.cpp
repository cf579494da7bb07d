// The key wait on a POSIX terminal: the controlling terminal in raw mode for as long as the wait
// lasts and the process is in the terminal's foreground, one key press read whole, and the rest of
// its burst or paste read and dropped, so that none of it reaches the shell. Every way out (the
// key, a failed read, a signal that ends or stops the process) puts the terminal's mode back.

#include <sys/select.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <span>
#include <string_view>

#include "console/key_decoder.hpp"
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
// A bracketed paste is dropped up to its end marker, however slowly it comes, but not for longer.
constexpr auto paste_time_cap = 30s;

// Bracketed-paste mode: while it is on, the terminal marks a paste with ESC [ 200 ~ … ESC [ 201 ~.
constexpr std::string_view paste_mode_on = "\x1b[?2004h";
constexpr std::string_view paste_mode_off = "\x1b[?2004l";

int keyboard = -1;

// Shared with the signal handlers, which act only while `waiting` is set: the mode to put back, the
// raw mode made from it, and whether the raw mode may be in force (set before it is switched on,
// cleared only once the saved mode is back).
termios saved_mode{};
termios raw_mode{};
volatile std::sig_atomic_t waiting = 0;
volatile std::sig_atomic_t raw_in_force = 0;

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
    raw.c_cc[VTIME] = 0;                            // with no timer: select() does the timing
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
    [[maybe_unused]] const ssize_t written =
        write(keyboard, paste_switch.data(), paste_switch.size());
    const bool set = tcsetattr(keyboard, TCSANOW, &mode) == 0;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return set;
}

// TCSANOW keeps whatever was typed ahead.
bool switch_to_raw_mode() {
    raw_in_force = 1;
    return set_mode(raw_mode, paste_mode_on);
}

// Puts the saved mode back if the raw mode may be in force; true when the saved mode is in force.
bool put_back_saved_mode() {
    if (raw_in_force == 0) return true;
    if (!set_mode(saved_mode, paste_mode_off)) return false;
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

void set_default_action(int signal_number) {
    struct sigaction default_action {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    sigaction(signal_number, &default_action, nullptr);
}

// A signal that ends the process during the wait: the terminal's mode goes back, then the default
// action, and the signal again, delivered as the handler returns: the process ends by it, with a
// core dump where that is the default. Every caught signal is held off meanwhile, a second copy of
// this one too, so nothing can end the process halfway.
void end_by_signal(int signal_number) {
    put_back_saved_mode();
    set_default_action(signal_number);
    std::raise(signal_number);
}

void on_continue(int) {
    const int saved_errno = errno;
    resume_raw_mode();
    errno = saved_errno;
}

void stop_with_mode_put_back(int signal_number);

// How the wait handles a signal it catches: with every caught signal held off while it runs.
struct sigaction wait_action(int signal_number) {
    struct sigaction action {};
    action.sa_mask = caught_signals();
    if (std::find(stopping_signals.begin(), stopping_signals.end(), signal_number) !=
        stopping_signals.end()) {
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
    put_back_saved_mode();
    set_default_action(signal_number);
    std::raise(signal_number);  // pending: the handler runs with it held off
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
        if (keyboard < 0 || keyboard >= FD_SETSIZE) return;  // select() takes no more
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
    }
    void release_signals() {
        for_each_caught_signal([this](int signal_number) {
            sigaction(signal_number, &previous_[static_cast<std::size_t>(signal_number)], nullptr);
        });
    }

    std::array<struct sigaction, NSIG> previous_{};
    bool active_ = false;
};

// Reads what the keyboard has, up to into.size() bytes, waiting until the deadline at most: the
// count, 0 when nothing came in time, -1 when the terminal hung up or failed. The time left is
// taken anew at every wake-up, so no stream of signals can stretch the wait. select(), not poll():
// some systems' poll() does not wait on terminals.
ssize_t read_until(std::span<unsigned char> into, clock::time_point deadline) {
    for (;;) {
        timeval timeout{};
        timeval* limit = nullptr;  // no deadline: as long as it takes
        if (deadline != clock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - clock::now());
            if (left.count() <= 0) return 0;
            timeout.tv_sec = static_cast<time_t>(left.count() / 1'000'000);
            timeout.tv_usec = static_cast<suseconds_t>(left.count() % 1'000'000);
            limit = &timeout;
        }
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(keyboard, &ready);
        const int selected = select(keyboard + 1, &ready, nullptr, nullptr, limit);
        if (selected < 0 && errno != EINTR) return -1;
        if (selected <= 0) continue;
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
        if (decoded.what == decoded_key::kind::paste_start) press.in_paste = true;
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

// Reads and drops whatever comes with the key, so that the rest of a paste never reaches the shell
// as commands. Inside a bracketed paste, up to its end marker, for paste_time_cap at most; outside
// one, until the terminal has been quiet for the escape wait, for burst_time_cap at most from the
// key or the end of the paste. Whatever is queued then is discarded.
void drop_rest_of_burst(bool in_paste) {
    const auto key_time = clock::now();
    auto burst_start = key_time;
    paste_markers markers(in_paste);
    std::array<unsigned char, 4096> block{};
    for (;;) {
        const auto deadline =
            markers.in_paste() ? key_time + paste_time_cap
                               : std::min(clock::now() + escape_wait, burst_start + burst_time_cap);
        const ssize_t got = read_until(block, deadline);
        if (got <= 0) break;
        for (const unsigned char byte : std::span(block.data(), static_cast<std::size_t>(got))) {
            if (markers.push(byte) && !markers.in_paste()) burst_start = clock::now();
        }
    }
    tcflush(keyboard, TCIFLUSH);
}

}  // namespace

int read_key_code() {
    keyboard = keyboard_device();
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
