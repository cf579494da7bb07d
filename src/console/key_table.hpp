// The key table: the code a key press returns in each modifier state, keyed by the Windows
// virtual-key code. Codes follow the classic PC keyboard BIOS: a character code below 0x100, an
// extended key as 0x100 plus its second code, -1 where the key has no code in that state.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace console {

// Virtual-key codes of the keys that have no character of their own.
namespace vk {
inline constexpr std::uint8_t backspace = 0x08, tab = 0x09, enter = 0x0D, escape = 0x1B,
                              space = 0x20, page_up = 0x21, page_down = 0x22, end = 0x23,
                              home = 0x24, left = 0x25, up = 0x26, right = 0x27, down = 0x28,
                              insert = 0x2D, del = 0x2E, numpad0 = 0x60, multiply = 0x6A,
                              add = 0x6B, subtract = 0x6D, decimal = 0x6E, divide = 0x6F, f1 = 0x70,
                              oem_1 = 0xBA, oem_plus = 0xBB, oem_comma = 0xBC, oem_minus = 0xBD,
                              oem_period = 0xBE, oem_2 = 0xBF, oem_3 = 0xC0, oem_4 = 0xDB,
                              oem_5 = 0xDC, oem_6 = 0xDD, oem_7 = 0xDE;
}  // namespace vk

// Modifier bits in the order of xterm's modifier parameter (parameter - 1).
enum modifier : unsigned { shift = 1U, alt = 2U, ctrl = 4U };

inline constexpr int extended = 0x100;  // a code from here up is an extended key

struct key_row {
    std::uint8_t vk;
    std::int16_t plain, shifted, control, alternate;
};

// All 89 rows, in the order they are scanned.
std::span<const key_row> key_rows();

// The code of a key press: Alt chooses the Alt column, else Ctrl the Ctrl column, else Shift the
// Shift column, else a letter key gives `character` and any other key its plain column. -1 for a
// key with no row or no code in that state.
int key_code(std::uint8_t vk, unsigned modifiers, int character);

// The main-keyboard key (not the keypad) that types an ASCII character in some modifier state, the
// way a US layout types it: 'a' is A, '!' is Shift+1, 1 is Ctrl+A.
std::optional<std::uint8_t> key_for_character(unsigned char character);

}  // namespace console
