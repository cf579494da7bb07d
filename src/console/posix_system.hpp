// What the POSIX key wait needs that differs between systems: how it waits for input on the
// terminal, and the signals the C library keeps for itself. Linux has poll() on terminals and
// signals glibc will not hand out; elsewhere (macOS, BSD) select() must serve.
#pragma once

#include <csignal>
#include <ctime>

namespace console::platform {

// The terminal's descriptor where wait_for_input takes it (select() takes none from FD_SETSIZE
// up); -1, with the descriptor closed, when it cannot be moved there.
int waitable_descriptor(int descriptor);

// Waits until the descriptor has input, for `timeout` at most (null: as long as it takes), with
// `mask` as the signal mask meanwhile (null: the mask as it is): 1 when it has input, 0 when the
// time ran out, -1 when it failed or a signal came (errno EINTR).
int wait_for_input(int descriptor, const timespec* timeout, const sigset_t* mask);

// Signals whose default action ends the process but that the C library will not let sigaction()
// catch (Linux's 32 and 33, which glibc keeps for its threads): they get `handler`, run with every
// signal held off, unless they were ignored; release_library_signals() puts their actions back.
void catch_library_signals(void (*handler)(int));
void release_library_signals();

// Holds the C library's signals off too, until the mask is next set by sigprocmask().
void hold_library_signals();

// The default action back for any signal, the C library's too. Safe in a signal handler.
void set_default_action(int signal_number);

}  // namespace console::platform
