// The key wait's signals on a POSIX terminal. The handlers act only while `waiting` is set; they
// share with the wait the mode to put back, the raw mode made from it, and whether the raw mode may
// be in force (set before it is switched on, cleared only once the saved mode is back).

#include "console/wait_signals_posix.hpp"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <string_view>

#include "console/posix_system.hpp"
#include "console/terminal_posix.hpp"

namespace console::platform {
namespace {

// Bracketed-paste mode: while it is on, the terminal marks a paste with ESC [ 200 ~ … ESC [ 201 ~.
// A terminal that shows escape sequences as text is not switched.
constexpr std::string_view paste_mode_on = "\x1b[?2004h";
constexpr std::string_view paste_mode_off = "\x1b[?2004l";
std::string_view paste_switch_on;
std::string_view paste_switch_off;

termios saved_mode{};
termios raw_mode{};
volatile std::sig_atomic_t waiting = 0;
volatile std::sig_atomic_t raw_in_force = 0;

// What the drain after the key is doing, for the handlers: a signal that ends or stops the process
// during a bracketed paste is held for the drain to act on once the paste has ended, so that its
// rest is read and dropped first; during any drain the input queue is flushed before the mode
// goes back. The continues are counted, so that the drain can tell a paste's end marker may have
// gone to the shell.
enum drain_phase : std::sig_atomic_t { no_drain, burst_drain, paste_drain };
volatile std::sig_atomic_t draining = no_drain;
volatile std::sig_atomic_t held_signal = 0;
volatile std::sig_atomic_t continues = 0;

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
    return tcgetpgrp(keyboard_device()) == getpgrp();
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
            write(keyboard_device(), paste_switch.data(), paste_switch.size());
    }
    const bool set = tcsetattr(keyboard_device(), TCSANOW, &mode) == 0;
    const int error = errno;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return set;
}

// TCSANOW keeps whatever was typed ahead.
bool switch_to_raw_mode() {
    raw_in_force = 1;
    return set_mode(raw_mode, paste_switch_on);
}

// Puts the saved mode back if the raw mode may be in force; true when the saved mode is in force
// or the terminal has hung up.
bool put_back_saved_mode() {
    if (raw_in_force == 0) return true;
    // A terminal that has hung up has no mode left to put back.
    if (!set_mode(saved_mode, paste_switch_off) && errno != EIO) return false;
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
    if (tcgetattr(keyboard_device(), &current) != 0) return;
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
    if (draining == burst_drain) tcflush(keyboard_device(), TCIFLUSH);
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
    continues = continues == SIG_ATOMIC_MAX ? 0 : continues + 1;
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

// The actions the signals had before the wait, put back after it.
std::array<struct sigaction, NSIG> previous_actions{};

void catch_signals() {
    for_each_caught_signal([](int signal_number) {
        const struct sigaction action = wait_action(signal_number);
        struct sigaction& previous = previous_actions[static_cast<std::size_t>(signal_number)];
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
    for_each_caught_signal([](int signal_number) {
        sigaction(signal_number, &previous_actions[static_cast<std::size_t>(signal_number)],
                  nullptr);
    });
}

// A process in the background must not touch the terminal. It reads it as any background job does
// (with no bytes asked for): the kernel stops it by SIGTTIN until it is brought to the foreground,
// or, where it cannot stop (SIGTTIN ignored, an orphaned process group), the read fails: false.
bool reach_foreground() {
    unsigned char none = 0;
    for (;;) {
        if (read(keyboard_device(), &none, 0) == 0) return in_foreground();
        if (errno != EINTR) return false;
    }
}

}  // namespace

raw_mode_guard::raw_mode_guard() {
    if (keyboard_device() < 0) return;
    paste_switch_on = escape_sequences_shown() ? paste_mode_on : std::string_view();
    paste_switch_off = escape_sequences_shown() ? paste_mode_off : std::string_view();
    for (;;) {
        if (!reach_foreground() || tcgetattr(keyboard_device(), &saved_mode) != 0) return;
        raw_mode = raw_from(saved_mode);
        const signal_block block;
        // Sent to the background while the mode was read: the terminal is another job's now.
        if (!in_foreground()) continue;  // stop again
        catch_signals();
        waiting = 1;
        if (!switch_to_raw_mode()) {
            mode_back_ = put_back_saved_mode();
            waiting = 0;
            release_signals();
            return;
        }
        active_ = true;
        return;
    }
}

bool raw_mode_guard::restore() {
    if (!active_) return true;
    active_ = false;
    const signal_block block;
    waiting = 0;
    const bool restored = put_back_saved_mode();
    release_signals();
    return restored;
}

unsigned continue_count() {
    return static_cast<unsigned>(continues);
}

void let_signals_in(const sigset_t& mask) {
    sigset_t held{};
    sigprocmask(SIG_SETMASK, &mask, &held);
    sigprocmask(SIG_SETMASK, &held, nullptr);
    hold_library_signals();
}

drain_scope::drain_scope(bool in_paste) {
    const sigset_t caught = caught_signals();
    sigprocmask(SIG_BLOCK, &caught, &open_);
    hold_library_signals();
    set_in_paste(in_paste);
}

drain_scope::~drain_scope() {
    tcflush(keyboard_device(), TCIFLUSH);
    draining = burst_drain;
    act_on_held_signal();
    draining = no_drain;
    sigprocmask(SIG_SETMASK, &open_, nullptr);
}

void drain_scope::set_in_paste(bool in_paste) {
    draining = in_paste ? paste_drain : burst_drain;
}

bool drain_scope::signal_held() const {
    return held_signal != 0;
}

bool drain_scope::act_on_held_signal() {
    const int signal_number = held_signal;
    if (signal_number == 0) return false;
    held_signal = 0;
    tcflush(keyboard_device(), TCIFLUSH);
    kill(getpid(), signal_number);
    let_signals_in(open_);  // delivered here
    return true;
}

}  // namespace console::platform
