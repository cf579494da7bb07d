// The key wait's signals on a POSIX terminal: the raw mode, switched on for the wait and put back
// on every way out, a signal that ends or stops the process included; and what the drain after the
// key needs of them: a signal during a bracketed paste held until the paste has ended.
#pragma once

#include <csignal>

namespace console::platform {

// Raw mode for one wait on the keyboard device: switched on by the constructor (only in the
// terminal's foreground: a job in the background stops until it is brought back), put back by
// restore() or the destructor, and by the handlers when a signal ends or stops the process.
class raw_mode_guard {
  public:
    raw_mode_guard();
    ~raw_mode_guard() { restore(); }
    raw_mode_guard(const raw_mode_guard&) = delete;
    raw_mode_guard& operator=(const raw_mode_guard&) = delete;

    bool active() const { return active_; }

    // False when a switch that failed could not be taken back: the mode may not be the saved one.
    bool mode_back() const { return mode_back_; }

    // Puts the saved mode back once; true when it is in force again.
    bool restore();

  private:
    bool active_ = false;
    bool mode_back_ = true;
};

// How many times the process has been continued (SIGCONT) during the wait so far.
unsigned continue_count();

// Lets in, now, the signals held off by `mask`'s complement: each is delivered here.
void let_signals_in(const sigset_t& mask);

// The drain, as the handlers see it: every caught signal is held off but while it waits for input,
// so that a signal is seen before the next wait; and on its way out whatever is queued goes, then a
// signal held back for a paste's end acts: the process ends or stops there.
class drain_scope {
  public:
    explicit drain_scope(bool in_paste);
    ~drain_scope();
    drain_scope(const drain_scope&) = delete;
    drain_scope& operator=(const drain_scope&) = delete;

    // The signal mask while the drain waits for input.
    const sigset_t* open() const { return &open_; }

    // Whether a bracketed paste is being read: a signal that ends or stops the process then waits.
    void set_in_paste(bool in_paste);

    // A signal is held for the paste's end.
    bool signal_held() const;

    // Outside a paste, a held signal is delivered again, now to act: the queue flushed, the mode
    // put back, the process ended or stopped (and, continued, the drain goes on). True when one
    // was.
    bool act_on_held_signal();

  private:
    sigset_t open_{};
};

}  // namespace console::platform
