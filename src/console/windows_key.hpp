// A Windows console input event as the key wait sees it.
#pragma once

#include <windows.h>

namespace console {

// The code an input event gives the key wait: the character of a key press that carries one, else
// the key table's code for its virtual-key code, Alt before Ctrl before Shift. -1 for an event the
// wait passes over: not a key, a key release, a key with no row, or no code in that state.
int key_code_of(const INPUT_RECORD& event);

}  // namespace console
