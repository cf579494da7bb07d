// Decoding the bytes a terminal sends for one key press. Pure: it never waits. On an incomplete
// sequence it answers need_more; the caller decides how long to wait for the rest and then asks
// again with more_may_come = false, which settles every prefix (a lone Esc is the Esc key).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace console {

struct decoded_key {
    enum class kind {
        need_more,    // the bytes so far begin a longer sequence
        key,          // a key of the table: vk with modifiers
        character,    // a typed character: bytes [first, used) in the terminal's character set
        code_point,   // a character reported by a keyboard protocol as its Unicode code point
        ignored,      // a complete sequence that is no key press we know; its bytes are consumed
        paste_start,  // ESC [ 200 ~: what follows is pasted text, in bracketed-paste mode
        paste_end,    // ESC [ 201 ~: the pasted text has ended
    };
    kind what = kind::need_more;
    std::size_t used = 0;  // bytes this result consumes
    std::uint8_t vk = 0;
    unsigned modifiers = 0;
    std::size_t first = 0;  // where a character's bytes start (after an Alt prefix)
    char32_t code_point = 0;
};

// The most bytes one key press sends; a longer "sequence" is noise, dropped.
inline constexpr std::size_t longest_key_sequence = 32;

// The terminal's character set, as far as reading needs it: the length of the character that
// `bytes` (starting with a byte of 0x80 or more) begins; 0 when the bytes so far are only its
// beginning; 1 for a byte that begins no character.
using character_length = std::size_t (*)(std::span<const unsigned char> bytes);

std::size_t utf8_character_length(std::span<const unsigned char> bytes);

decoded_key decode_key(std::span<const unsigned char> bytes, bool more_may_come,
                       character_length length);

// The Windows-1251 code of one typed character, from its bytes in the terminal's character set.
using character_code = int (*)(std::string_view typed);

// The Windows-1251 code of one whole UTF-8 character: ASCII as it is, '?' for a character with no
// byte there.
int utf8_character_code(std::string_view typed);

// The code a decoded key press returns, as the key table gives it: a typed character's through
// `code`, a reported code point's through the Windows-1251 table ('?' where it has no byte); -1 for
// bytes that are no key press with a code.
int key_press_code(const decoded_key& decoded, std::span<const unsigned char> bytes,
                   character_code code);

}  // namespace console
