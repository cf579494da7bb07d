// The console as the dialogue sees it: Russian text in the terminal's character set, the standard
// output stream written through after every operation, and a single key press.
#pragma once

#include <ostream>

namespace console {

// Call first in main: takes LC_CTYPE (only) from the user's locale, opens the keyboard device and
// puts the standard output stream into its written-through state.
void start();

// Writes a NUL-terminated Windows-1251 text to the standard output stream in the terminal's
// character set, with no line end, and returns the stream.
std::ostream& print_oem(const char* text);

// Writes a NUL-terminated Windows-1251 text and a line end to the standard error stream, in the
// terminal's character set.
void print_error_line(const char* text);

// Why the last write to a standard stream failed, as an error number (EPIPE, ENOSPC …).
int write_error();

// What wait_key returns when the keyboard's input mode could not be put back after the wait: the
// program says so and ends with a failure.
inline constexpr int mode_not_restored = -2;

// Waits for one key press: the character code (0-255), 0 for an extended key (its second code is
// returned by the next call without waiting), -1 when the keyboard cannot be read, or
// mode_not_restored.
int wait_key();

}  // namespace console
