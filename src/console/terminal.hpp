// What the console layer needs of the platform: the terminal's character set, and one key press
// read raw from the keyboard device. One implementation a platform, each in its own file.
#pragma once

#include <string>
#include <string_view>

namespace console::platform {

// At start-up: takes the character set from the user's locale and opens the keyboard device.
void start();

// The Windows-1251 text in the terminal's character set.
std::string terminal_text(std::string_view cp1251_text);

// Waits for one key press and returns its code from the key table (0x100 and up for an extended
// key), or -1 at once when there is no keyboard device or it cannot be switched, and -1 when it
// fails.
int read_key_code();

}  // namespace console::platform
