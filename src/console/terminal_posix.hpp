// What the key wait on a POSIX terminal takes from the terminal's text side: the terminal itself
// and the user's character set.
#pragma once

#include <string_view>

#include "console/key_decoder.hpp"

namespace console::platform {

// The controlling terminal, opened by start() at descriptor 3 or above; -1 when there is none.
int keyboard_device();

// Moves the controlling terminal where the wait for input takes it (waitable_descriptor) and
// returns it; -1, with it closed, when it cannot be moved there.
int waitable_keyboard();

// Whether the terminal acts on escape sequences rather than showing them as text: TERM, read by
// start(), is set, not empty and not "dumb".
bool escape_sequences_shown();

// The length of a character of the user's character set, as the key decoder measures it.
character_length locale_character_length();

// The Windows-1251 code of one character typed in the user's character set: ASCII as it is, '?'
// for a character that has no single byte there.
int cp1251_code(std::string_view typed);

}  // namespace console::platform
