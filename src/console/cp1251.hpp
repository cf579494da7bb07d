// Texts are kept readable in the source as UTF-8 literals and stored in Windows-1251, converted
// while compiling: `constexpr auto text = cp1251(u8"Корень = ");` holds the Windows-1251 bytes and
// a NUL.
#pragma once

#include <array>
#include <cstddef>

namespace console {

namespace detail {

// Windows-1251 byte for a code point: ASCII as it is, А..я (U+0410..U+044F) from 0xC0, Ё and ё.
// Anything else is not a text of this program, and stops the compilation.
consteval char cp1251_byte(char32_t code_point) {
    if (code_point < 0x80) return static_cast<char>(code_point);
    if (code_point >= 0x410 && code_point <= 0x44F) {
        return static_cast<char>(static_cast<unsigned char>(code_point - 0x410 + 0xC0));
    }
    if (code_point == 0x401) return static_cast<char>(0xA8);
    if (code_point == 0x451) return static_cast<char>(0xB8);
    throw "character outside the texts' Windows-1251 subset";
}

}  // namespace detail

// The result is as long as the UTF-8 literal; the text ends at its first NUL, the rest is padding.
template <std::size_t size>
consteval std::array<char, size> cp1251(const char8_t (&utf8)[size]) {
    std::array<char, size> text{};
    std::size_t out = 0;
    for (std::size_t at = 0; at + 1 < size;) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        char32_t code_point = lead;
        if (lead >= 0xC0 && lead < 0xE0 && at + 2 < size) {
            code_point = ((lead & 0x1FU) << 6) | (static_cast<unsigned char>(utf8[at + 1]) & 0x3FU);
            at += 2;
        } else if (lead < 0x80) {
            at += 1;
        } else {
            throw "only one- and two-byte UTF-8 characters occur in the texts";
        }
        text[out++] = detail::cp1251_byte(code_point);
    }
    return text;
}

}  // namespace console
