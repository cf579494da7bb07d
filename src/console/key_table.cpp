#include "console/key_table.hpp"

#include <algorithm>
#include <array>

namespace console {
namespace {

constexpr std::int16_t none = -1;
constexpr std::int16_t ext(int second_code) {
    return static_cast<std::int16_t>(extended + second_code);
}

// clang-format off
constexpr std::array<key_row, 89> rows = {{
    //  key            plain      Shift      Ctrl       Alt
    {vk::backspace,    8,         8,         127,       ext(0x0E)},
    {vk::tab,          9,         ext(0x0F), ext(0x94), ext(0xA5)},
    {vk::enter,        13,        13,        10,        ext(0x1C)},
    {vk::escape,       27,        27,        27,        ext(0x01)},
    {vk::space,        ' ',       ' ',       ' ',       ' '},
    {'0',              '0',       ')',       none,      ext(0x81)},
    {'1',              '1',       '!',       none,      ext(0x78)},
    {'2',              '2',       '@',       ext(0x03), ext(0x79)},
    {'3',              '3',       '#',       none,      ext(0x7A)},
    {'4',              '4',       '$',       none,      ext(0x7B)},
    {'5',              '5',       '%',       none,      ext(0x7C)},
    {'6',              '6',       '^',       30,        ext(0x7D)},
    {'7',              '7',       '&',       none,      ext(0x7E)},
    {'8',              '8',       '*',       none,      ext(0x7F)},
    {'9',              '9',       '(',       none,      ext(0x80)},
    {'A',              'a',       'A',       1,         ext(0x1E)},
    {'B',              'b',       'B',       2,         ext(0x30)},
    {'C',              'c',       'C',       3,         ext(0x2E)},
    {'D',              'd',       'D',       4,         ext(0x20)},
    {'E',              'e',       'E',       5,         ext(0x12)},
    {'F',              'f',       'F',       6,         ext(0x21)},
    {'G',              'g',       'G',       7,         ext(0x22)},
    {'H',              'h',       'H',       8,         ext(0x23)},
    {'I',              'i',       'I',       9,         ext(0x17)},
    {'J',              'j',       'J',       10,        ext(0x24)},
    {'K',              'k',       'K',       11,        ext(0x25)},
    {'L',              'l',       'L',       12,        ext(0x26)},
    {'M',              'm',       'M',       13,        ext(0x32)},
    {'N',              'n',       'N',       14,        ext(0x31)},
    {'O',              'o',       'O',       15,        ext(0x18)},
    {'P',              'p',       'P',       16,        ext(0x19)},
    {'Q',              'q',       'Q',       17,        ext(0x10)},
    {'R',              'r',       'R',       18,        ext(0x13)},
    {'S',              's',       'S',       19,        ext(0x1F)},
    {'T',              't',       'T',       20,        ext(0x14)},
    {'U',              'u',       'U',       21,        ext(0x16)},
    {'V',              'v',       'V',       22,        ext(0x2F)},
    {'W',              'w',       'W',       23,        ext(0x11)},
    {'X',              'x',       'X',       24,        ext(0x2D)},
    {'Y',              'y',       'Y',       25,        ext(0x15)},
    {'Z',              'z',       'Z',       26,        ext(0x2C)},
    {vk::page_up,      ext(0x49), ext(0x49), ext(0x84), ext(0x99)},
    {vk::page_down,    ext(0x51), ext(0x51), ext(0x76), ext(0xA1)},
    {vk::end,          ext(0x4F), ext(0x4F), ext(0x75), ext(0x9F)},
    {vk::home,         ext(0x47), ext(0x47), ext(0x77), ext(0x97)},
    {vk::left,         ext(0x4B), ext(0x4B), ext(0x73), ext(0x9B)},
    {vk::up,           ext(0x48), ext(0x48), ext(0x8D), ext(0x98)},
    {vk::right,        ext(0x4D), ext(0x4D), ext(0x74), ext(0x9D)},
    {vk::down,         ext(0x50), ext(0x50), ext(0x91), ext(0xA0)},
    {vk::insert,       ext(0x52), ext(0x52), ext(0x92), ext(0xA2)},
    {vk::del,          ext(0x53), ext(0x53), ext(0x93), ext(0xA3)},
    {vk::numpad0,      '0',       ext(0x52), ext(0x92), none},
    {vk::numpad0 + 1,  '1',       ext(0x4F), ext(0x75), none},
    {vk::numpad0 + 2,  '2',       ext(0x50), ext(0x91), none},
    {vk::numpad0 + 3,  '3',       ext(0x51), ext(0x76), none},
    {vk::numpad0 + 4,  '4',       ext(0x4B), ext(0x73), none},
    {vk::numpad0 + 5,  '5',       ext(0x4C), ext(0x8F), none},
    {vk::numpad0 + 6,  '6',       ext(0x4D), ext(0x74), none},
    {vk::numpad0 + 7,  '7',       ext(0x47), ext(0x77), none},
    {vk::numpad0 + 8,  '8',       ext(0x48), ext(0x8D), none},
    {vk::numpad0 + 9,  '9',       ext(0x49), ext(0x84), none},
    {vk::multiply,     '*',       '*',       ext(0x96), ext(0x37)},
    {vk::add,          '+',       '+',       ext(0x90), ext(0x4E)},
    {vk::subtract,     '-',       '-',       ext(0x8E), ext(0x4A)},
    {vk::decimal,      '.',       ext(0x53), ext(0x93), ext(0xA3)},
    {vk::divide,       '/',       '/',       ext(0x95), ext(0xA4)},
    {vk::f1,           ext(0x3B), ext(0x54), ext(0x5E), ext(0x68)},
    {vk::f1 + 1,       ext(0x3C), ext(0x55), ext(0x5F), ext(0x69)},
    {vk::f1 + 2,       ext(0x3D), ext(0x56), ext(0x60), ext(0x6A)},
    {vk::f1 + 3,       ext(0x3E), ext(0x57), ext(0x61), ext(0x6B)},
    {vk::f1 + 4,       ext(0x3F), ext(0x58), ext(0x62), ext(0x6C)},
    {vk::f1 + 5,       ext(0x40), ext(0x59), ext(0x63), ext(0x6D)},
    {vk::f1 + 6,       ext(0x41), ext(0x5A), ext(0x64), ext(0x6E)},
    {vk::f1 + 7,       ext(0x42), ext(0x5B), ext(0x65), ext(0x6F)},
    {vk::f1 + 8,       ext(0x43), ext(0x5C), ext(0x66), ext(0x70)},
    {vk::f1 + 9,       ext(0x44), ext(0x5D), ext(0x67), ext(0x71)},
    {vk::f1 + 10,      ext(0x85), ext(0x87), ext(0x89), ext(0x8B)},
    {vk::f1 + 11,      ext(0x86), ext(0x88), ext(0x8A), ext(0x8C)},
    {vk::oem_5,        '\\',      '|',       28,        ext(0x2B)},
    {vk::oem_2,        '/',       '?',       none,      ext(0x35)},
    {vk::oem_minus,    '-',       '_',       31,        ext(0x82)},
    {vk::oem_plus,     '=',       '+',       none,      ext(0x83)},
    {vk::oem_4,        '[',       '{',       27,        ext(0x1A)},
    {vk::oem_6,        ']',       '}',       29,        ext(0x1B)},
    {vk::oem_1,        ';',       ':',       none,      ext(0x27)},
    {vk::oem_7,        '\'',      '"',       none,      ext(0x28)},
    {vk::oem_comma,    ',',       '<',       none,      ext(0x33)},
    {vk::oem_period,   '.',       '>',       none,      ext(0x34)},
    {vk::oem_3,        '`',       '~',       none,      ext(0x29)},
}};
// clang-format on

const key_row* find_row(std::uint8_t key) {
    const auto* row =
        std::find_if(rows.begin(), rows.end(), [key](const key_row& r) { return r.vk == key; });
    return row == rows.end() ? nullptr : row;
}

constexpr bool is_letter(std::uint8_t key) {
    return key >= 'A' && key <= 'Z';
}
constexpr bool is_keypad(std::uint8_t key) {
    return key >= vk::numpad0 && key <= vk::divide;
}

}  // namespace

std::span<const key_row> key_rows() {
    return rows;
}

int key_code(std::uint8_t vk, unsigned modifiers, int character) {
    const key_row* row = find_row(vk);
    if (row == nullptr) return -1;
    if ((modifiers & alt) != 0) return row->alternate;
    if ((modifiers & ctrl) != 0) return row->control;
    if ((modifiers & shift) != 0) return row->shifted;
    return is_letter(vk) ? character : row->plain;
}

std::optional<std::uint8_t> key_for_character(unsigned char character) {
    for (const key_row& row : rows) {
        if (is_keypad(row.vk)) continue;
        for (const std::int16_t code : {row.plain, row.shifted, row.control}) {
            if (code == character) return row.vk;
        }
    }
    return std::nullopt;
}

}  // namespace console
