#include "console/windows_key.hpp"

#include <cstdint>

#include "console/key_table.hpp"

namespace console {

int key_code_of(const INPUT_RECORD& event) {
    if (event.EventType != KEY_EVENT) return -1;  // mouse, window size, focus, menu
    const KEY_EVENT_RECORD& key = event.Event.KeyEvent;
    if (!key.bKeyDown) return -1;
    const auto character = static_cast<unsigned char>(key.uChar.AsciiChar);
    if (character != 0) return character;
    if (key.wVirtualKeyCode > 0xFF) return -1;

    const DWORD state = key.dwControlKeyState;
    unsigned modifiers = 0;
    if ((state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0) modifiers |= alt;
    if ((state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0) modifiers |= ctrl;
    if ((state & SHIFT_PRESSED) != 0) modifiers |= shift;
    return key_code(static_cast<std::uint8_t>(key.wVirtualKeyCode), modifiers, character);
}

}  // namespace console
