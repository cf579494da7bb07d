// Terminal bytes to key codes, with no terminal at all: the sequences of xterm, VTE, tmux, screen,
// the Linux console and rxvt; Alt; split and unknown sequences; and the key table itself.

#include "console/key_decoder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "console/key_table.hpp"
#include "console/paste_markers.hpp"

namespace {

using console::decode_key;
using kind = console::decoded_key::kind;
constexpr console::character_length utf8 = console::utf8_character_length;

std::span<const unsigned char> bytes_of(std::string_view text) {
    return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

// The code a complete byte sequence gives: the table's code for a key, the byte for an ASCII
// character, -1 for an ignored sequence, -2 when the decoder wants more, -3 when it leaves bytes
// over, -5 and -6 for the start and end of a bracketed paste.
int code_of(std::string_view text, bool more_may_come = true) {
    const console::decoded_key decoded = decode_key(bytes_of(text), more_may_come, utf8);
    if (decoded.what == kind::need_more) return -2;
    if (decoded.used != text.size()) return -3;
    switch (decoded.what) {
        case kind::key:
            return console::key_code(decoded.vk, decoded.modifiers, 0);
        case kind::code_point:
            return static_cast<int>(decoded.code_point);
        case kind::character:
            return decoded.used - decoded.first == 1
                       ? static_cast<unsigned char>(text[decoded.first])
                       : -4;
        case kind::paste_start:
            return -5;
        case kind::paste_end:
            return -6;
        default:
            return -1;
    }
}

constexpr int ext(int second) {
    return 0x100 + second;
}

struct sequence_case {
    const char* bytes;
    int code;
};

void expect_codes(std::initializer_list<sequence_case> cases) {
    for (const sequence_case& c : cases) {
        std::string printable;
        for (const char byte : std::string_view(c.bytes)) {
            printable += byte == '\x1b' ? std::string("ESC ") : std::string(1, byte) + ' ';
        }
        EXPECT_EQ(code_of(c.bytes), c.code) << printable;
    }
}

TEST(DecodeCharacters, KeysThatTypeACharacterReturnIt) {
    expect_codes({
        {"a", 'a'},
        {"Z", 'Z'},
        {"7", '7'},
        {"~", '~'},
        {" ", ' '},
        {"\r", 13},
        {"\t", 9},
        {"\x7f", 8},  // Backspace's DEL is the Backspace row
        {"\x03", 3},  // Ctrl+C is a key like any other
        {"\x1a", 26},
        {"\x01", 1},
        {"\x08", 8},
        {"\n", 10},
        {"\x1c", 28},
    });
    EXPECT_EQ(code_of(std::string_view("\0", 1)), ext(0x03));  // NUL is Ctrl+2
}

TEST(DecodeCharacters, Utf8CharactersComeWhole) {
    const auto decoded = decode_key(bytes_of("\xd0\x96"), true, utf8);  // Ж
    EXPECT_EQ(decoded.what, kind::character);
    EXPECT_EQ(decoded.used, 2U);
    EXPECT_EQ(decode_key(bytes_of("\xd0"), true, utf8).what, kind::need_more);
    EXPECT_EQ(decode_key(bytes_of("\xe2\x82"), true, utf8).what, kind::need_more);
    EXPECT_EQ(decode_key(bytes_of("\xe2\x82\xac"), true, utf8).used, 3U);  // €
    // Malformed or cut short: the bytes so far make one character, which becomes '?' later.
    EXPECT_EQ(decode_key(bytes_of("\xd0"), false, utf8).used, 1U);
    EXPECT_EQ(decode_key(bytes_of("\xd0"
                                  "a"),
                         true, utf8)
                  .used,
              1U);
    EXPECT_EQ(decode_key(bytes_of("\x80"), true, utf8).used, 1U);
    // In an 8-bit character set every byte is a character.
    const console::character_length single_byte = [](std::span<const unsigned char>) {
        return std::size_t{1};
    };
    EXPECT_EQ(decode_key(bytes_of("\xf6"), true, single_byte).used, 1U);
}

TEST(DecodeEscape, ALoneEscIsEscOnlyOnceNothingMoreComes) {
    EXPECT_EQ(code_of("\x1b"), -2);
    EXPECT_EQ(code_of("\x1b", false), 27);
    EXPECT_EQ(code_of("\x1b[", false), ext(0x1A));     // Alt+[
    EXPECT_EQ(code_of("\x1bO", false), ext(0x18));     // Alt+O
    EXPECT_EQ(code_of("\x1b\x1b", false), ext(0x01));  // Alt+Esc
}

TEST(DecodeEscape, AltWithAKey) {
    expect_codes({
        {"\x1b"
         "a",
         ext(0x1E)},
        {"\x1b"
         "A",
         ext(0x1E)},
        {"\x1b"
         "1",
         ext(0x78)},
        {"\x1b"
         "!",
         ext(0x78)},
        {"\x1b"
         "0",
         ext(0x81)},
        {"\x1b"
         "\x01",
         ext(0x1E)},
        {"\x1b"
         "\r",
         ext(0x1C)},
        {"\x1b"
         "\x7f",
         ext(0x0E)},
        {"\x1b"
         "\t",
         ext(0xA5)},
        {"\x1b"
         "-",
         ext(0x82)},
        {"\x1b"
         "`",
         ext(0x29)},
        {"\x1b"
         " ",
         ' '},
        {"\x1b\x1b[A", ext(0x98)},  // Alt+Up as ESC before the sequence
        {"\x1b\x1bOP", ext(0x68)},  // Alt+F1
        // clang-format off
        {"\x1b" "7", ext(0x7E)}, {"\x1b" "5", ext(0x7C)}, {"\x1b" "9", ext(0x80)},
        {"\x1b" "z", ext(0x2C)}, {"\x1b" "q", ext(0x10)},
        // clang-format on
        {"\x1b\x1b[D", ext(0x9B)},    // Alt+Left, rxvt
        {"\x1b\x1b[2~", ext(0xA2)},   // Alt+Insert, rxvt
        {"\x1b\x1b[12~", ext(0x69)},  // Alt+F2, rxvt
    });
    // Alt with a character beyond ASCII is that character.
    const auto decoded = decode_key(bytes_of("\x1b\xd0\x96"), true, utf8);
    EXPECT_EQ(decoded.what, kind::character);
    EXPECT_EQ(decoded.first, 1U);
    EXPECT_EQ(decoded.used, 3U);
}

TEST(DecodeXterm, CursorEditingAndFunctionKeysWithModifiers) {
    expect_codes({
        {"\x1b[A", ext(0x48)},
        {"\x1b[B", ext(0x50)},
        {"\x1b[C", ext(0x4D)},
        {"\x1b[D", ext(0x4B)},
        {"\x1bOA", ext(0x48)},
        {"\x1b[H", ext(0x47)},
        {"\x1b[F", ext(0x4F)},
        {"\x1bOH", ext(0x47)},
        {"\x1b[2~", ext(0x52)},
        {"\x1b[3~", ext(0x53)},
        {"\x1b[5~", ext(0x49)},
        {"\x1b[6~", ext(0x51)},
        {"\x1bOP", ext(0x3B)},
        {"\x1bOS", ext(0x3E)},
        {"\x1b[15~", ext(0x3F)},
        {"\x1b[17~", ext(0x40)},
        {"\x1b[21~", ext(0x44)},
        {"\x1b[23~", ext(0x85)},
        {"\x1b[24~", ext(0x86)},
        {"\x1b[Z", ext(0x0F)},  // Shift+Tab
        {"\x1b[1;2A", ext(0x48)},
        {"\x1b[1;5A", ext(0x8D)},  // Shift+Up, Ctrl+Up
        {"\x1b[1;3A", ext(0x98)},
        {"\x1b[1;7A", ext(0x98)},  // Alt wins over Ctrl
        {"\x1b[1;6D", ext(0x73)},  // Ctrl wins over Shift
        {"\x1b[1;2P", ext(0x54)},
        {"\x1b[1;5P", ext(0x5E)},
        {"\x1b[1;3P", ext(0x68)},
        {"\x1b[15;2~", ext(0x58)},
        {"\x1b[24;5~", ext(0x8A)},
        {"\x1b[3;5~", ext(0x93)},
        {"\x1b[5;3~", ext(0x99)},
        {"\x1b[1;9A", ext(0x98)},  // Meta counts as Alt
        {"\x1bO2P", ext(0x54)},    // SS3 with a modifier digit
        // Characters with modifiers, as modifyOtherKeys and the CSI u form report them: through
        // the key table, or the character itself when it has no row.
        {"\x1b[27;5;97~", 1},
        {"\x1b[27;6;65~", 1},  // Ctrl+A, Ctrl+Shift+A
        {"\x1b[27;5;13~", 10},
        {"\x1b[27;3;97~", ext(0x1E)},  // Ctrl+Enter, Alt+A
        {"\x1b[97;5u", 1},
        {"\x1b[13;5u", 10},  // Ctrl+A, Ctrl+Enter
        {"\x1b[27u", 27},
        {"\x1b[127;3u", ext(0x0E)},  // Escape, Alt+Backspace
        {"\x1b[49;5u", -1},
        {"\x1b[97u", 'a'},  // Ctrl+1 has no code
        {"\x1b[1078;5u", 1078},
        {"\x1b[27;5;20013~", 20013},  // Ctrl+ж, Ctrl+中
        {"&", '&'},
        {"\x1e", 30},  // Shift+7, Ctrl+6
        {"\x1b[1;5D", ext(0x73)},
        {"\x1b[1;5B", ext(0x91)},
        {"\x1b[1;3C", ext(0x9D)},
        {"\x1b[2;2~", ext(0x52)},
        {"\x1b[3;3~", ext(0xA3)},
        {"\x1b[1;5H", ext(0x77)},
        {"\x1b[6;5~", ext(0x76)},
        {"\x1b[15;5~", ext(0x62)},
        {"\x1b[24;2~", ext(0x88)},
        {"\x1b[24;3~", ext(0x8C)},
    });
}

TEST(DecodeOtherTerminals, LinuxConsoleRxvtTmuxAndScreen) {
    expect_codes({
        {"\x1b[[A", ext(0x3B)},  {"\x1b[[E", ext(0x3F)},   // the Linux console's F1, F5
        {"\x1b[1~", ext(0x47)},  {"\x1b[4~", ext(0x4F)},   // tmux and screen Home, End
        {"\x1b[7~", ext(0x47)},  {"\x1b[8~", ext(0x4F)},   // rxvt Home, End
        {"\x1b[11~", ext(0x3B)}, {"\x1b[14~", ext(0x3E)},  // rxvt F1, F4
        {"\x1b[2$", ext(0x52)},  {"\x1b[11$", ext(0x54)},  // rxvt Shift+Insert, Shift+F1
        {"\x1b[11^", ext(0x5E)}, {"\x1b[5^", ext(0x84)},   // rxvt Ctrl+F1, Ctrl+PgUp
        {"\x1b[11@", ext(0x5E)},                           // rxvt Ctrl+Shift+F1
        {"\x1b[a", ext(0x48)},   {"\x1bOa", ext(0x8D)},    // rxvt Shift+Up, Ctrl+Up
        {"\x1b[25~", ext(0x56)}, {"\x1b[34~", ext(0x5D)},  // rxvt Shift+F3, Shift+F10
        {"\x1bOp", '0'},         {"\x1bOM", 13},
        {"\x1bOj", '*'},                                   // keypad in application mode
        {"\x1bOd", ext(0x73)},   {"\x1b[7^", ext(0x77)},   // rxvt Ctrl+Left, Ctrl+Home
        {"\x1b[3$", ext(0x53)},  {"\x1b[23$", ext(0x87)},  // rxvt Shift+Delete, Shift+F11
        {"\x1b[24^", ext(0x8A)}, {"\x1b[12@", ext(0x5F)},  // rxvt Ctrl+F12, Ctrl+Shift+F2
    });
}

TEST(DecodeUnknown, SequencesThatAreNoKeyAreConsumedAndIgnored) {
    expect_codes({
        {"\x1b[I", -1},
        {"\x1b[O", -1},  // focus in and out
        {"\x1b[99~", -1},
        {"\x1b[~", -1},
        {"\x1b[<0;10;20M", -1},  // a mouse report
        {"\x1b[?1;2c", -1},
        {"\x1b[1;2;3;4;5;6;7A", -1},  // more parameters than a key has
        {"\x1b[2;5$y", -1},
        {"\x1b[ q", -1},
        {"\x1bOz", -1},
        {"\x1b[[Z", -1},
        {"\x1b[1;5E", -1},  // keypad 5: no row
    });
    // A bracketed paste's markers; keys the keyboard protocol reports pressed alone.
    // clang-format off
    expect_codes({
        {"\x1b[200~", -5},      {"\x1b[201~", -6},      // a paste begins, ends
        {"\x1b[57441u", -1},    {"\x1b[57454;2u", -1},  // Shift, a level shift
        {"\x1b[57358u", -1},    {"\x1b[57360u", -1},    // Caps Lock, Num Lock
        {"\x1b[57440u", 57440}, {"\x1b[57455u", 57455}, // the codes on either side: characters
    });
    // clang-format on
    // Keys whose combination has no code are ignored after the table lookup.
    EXPECT_EQ(code_of("\x1b[1;5Q"), ext(0x5F));
    EXPECT_EQ(console::key_code('1', console::ctrl, 0), -1);
}

TEST(DecodeSplit, APrefixWaitsForTheRest) {
    const std::string_view sequences[] = {"\x1b[15;5~", "\x1b[1;3A", "\x1bOP",  "\x1b[[C",
                                          "\x1b\x1b[B", "\x1b[11^",  "\x1b[2$", "\xe2\x82\xac"};
    for (const std::string_view whole : sequences) {
        for (std::size_t cut = 1; cut < whole.size(); ++cut) {
            EXPECT_EQ(decode_key(bytes_of(whole.substr(0, cut)), true, utf8).what, kind::need_more)
                << "first " << cut << " bytes";
        }
        EXPECT_EQ(decode_key(bytes_of(whole), true, utf8).used, whole.size());
    }
}

TEST(DecodeSplit, OnlyOneKeyIsTakenFromTypeAhead) {
    EXPECT_EQ(decode_key(bytes_of("ab"), true, utf8).used, 1U);
    EXPECT_EQ(decode_key(bytes_of("\x1b[Ax"), true, utf8).used, 3U);
    // A byte that cannot be part of a sequence breaks it off; that byte is the next key.
    EXPECT_EQ(decode_key(bytes_of("\x1b[1;5\x03"), true, utf8).used, 5U);
    // Endless parameters are dropped once they are too long for any key.
    const std::string noise = "\x1b[" + std::string(40, '1');
    const auto decoded = decode_key(bytes_of(noise), true, utf8);
    EXPECT_EQ(decoded.what, kind::ignored);
    EXPECT_LE(decoded.used, noise.size());
    EXPECT_EQ(code_of(std::string("\x1b[") + std::string(20, '9') + "~"), -1);  // saturates
}

TEST(PasteMarkers, FollowThePasteThroughAStreamOfBytes) {
    struct marker_case {
        const char* bytes;
        bool in_paste_before;
        int markers;  // how many markers the bytes end
        bool in_paste_after;
    };
    const marker_case cases[] = {
        {"ls\x1b[200~echo", false, 1, true},
        {"echo\x1b[201~ls", true, 1, false},
        {"\x1b[200~a\x1b[201~", false, 2, false},
        {"\x1b[202~\x1b[2001~\x1b[20~[201~", true, 0, true},  // no markers
        {"\x1b\x1b[201~", true, 1, false},                    // ESC begins a marker anew
        {"\x1b[20\x1b[201~", true, 1, false},
        {"\x1b[A\x1b[201~", true, 1, false},
    };
    for (const marker_case& c : cases) {
        SCOPED_TRACE(c.bytes + 1);
        console::paste_markers markers(c.in_paste_before);
        int ended = 0;
        for (const char byte : std::string_view(c.bytes)) {
            if (markers.push(static_cast<unsigned char>(byte))) ++ended;
        }
        EXPECT_EQ(ended, c.markers);
        EXPECT_EQ(markers.in_paste(), c.in_paste_after);
    }
}

TEST(KeyTable, HasItsRowsAndNoCodeOnlyWhereExpected) {
    const auto rows = console::key_rows();
    ASSERT_EQ(rows.size(), 89U);
    for (const console::key_row& row : rows) {
        const bool digit = row.vk >= '0' && row.vk <= '9';
        const bool keypad_digit = row.vk >= 0x60 && row.vk <= 0x69;
        const std::string_view no_ctrl_punctuation = "\xbf\xbb\xba\xde\xbc\xbe\xc0";
        const bool ctrl_none =
            (digit && row.vk != '2' && row.vk != '6') ||
            no_ctrl_punctuation.find(static_cast<char>(row.vk)) != std::string_view::npos;
        EXPECT_EQ(row.control == -1, ctrl_none) << "vk " << int{row.vk};
        EXPECT_EQ(row.alternate == -1, keypad_digit) << "vk " << int{row.vk};
        EXPECT_NE(row.plain, -1);
        EXPECT_NE(row.shifted, -1);
        EXPECT_EQ(std::count_if(rows.begin(), rows.end(),
                                [&](const console::key_row& other) { return other.vk == row.vk; }),
                  1);
    }
}

TEST(KeyTable, ModifierPrecedenceAndLetters) {
    using console::alt;
    using console::ctrl;
    using console::shift;
    EXPECT_EQ(console::key_code(0x70, 0, 0), ext(59));  // F1
    EXPECT_EQ(console::key_code(0x26, 0, 0), ext(72));  // Up
    EXPECT_EQ(console::key_code('A', ctrl, 0), 1);
    EXPECT_EQ(console::key_code('A', alt, 0), ext(30));
    EXPECT_EQ(console::key_code('A', alt | ctrl | shift, 0), ext(30));
    EXPECT_EQ(console::key_code('A', ctrl | shift, 0), 1);
    EXPECT_EQ(console::key_code('A', shift, 'a'), 'A');
    EXPECT_EQ(console::key_code('A', 0, 0xE0), 0xE0);  // a letter key gives its character
    EXPECT_EQ(console::key_code(0x10, 0, 0), -1);      // Shift alone has no row
    EXPECT_EQ(console::key_code(0x60, alt, 0), -1);    // Alt with a keypad digit
}

}  // namespace
