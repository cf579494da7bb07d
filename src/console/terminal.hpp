// What the console layer needs of the platform: the terminal's character set, and one key press
// read raw from the keyboard device. One implementation a platform, each in its own file.
#pragma once

#include <string_view>

#include "console/console.hpp"

namespace console::platform {

// At start-up: takes the character set from the user's locale and opens the keyboard device.
void start();

// The standard stream a text goes to.
enum class stream { output, error };

// Writes the Windows-1251 text to the standard output or error stream so that the terminal shows
// it: in the terminal's character set, or as characters straight to a console. A stream that has
// failed takes nothing more; a failed write leaves it bad.
void write_text(stream to, std::string_view cp1251_text);

// Waits for one key press and returns its code from the key table (0x100 and up for an extended
// key), or -1 at once when there is no keyboard device or it cannot be switched, and -1 when it
// fails; mode_not_restored when the keyboard's mode could not be put back after it.
int read_key_code();

// The error number of the last failed write to a standard stream, as the C library would name it
// on POSIX (EPIPE for a closed pipe, ENOSPC for a full disk …).
int write_error();

}  // namespace console::platform
