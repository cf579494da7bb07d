// Texts are kept readable in the source as UTF-8 literals and stored in Windows-1251, converted
// while compiling: `constexpr auto text = cp1251(u8"Корень = ");` holds the Windows-1251 bytes and
// a NUL.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace console {

// The upper half of Windows-1251 below А (0xC0): the code point of each byte from 0x80 to 0xBF, 0
// for 0x98, which is no character. From 0xC0 to 0xFF the bytes are А..я, U+0410 to U+044F.
// clang-format off
inline constexpr std::array<char16_t, 64> cp1251_upper = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x0000, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
};
// clang-format on

// The code point of a Windows-1251 byte; 0 for 0x98.
constexpr char32_t code_point_of_cp1251(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return char32_t{0x410} + (byte - 0xC0U);
    return cp1251_upper[byte - 0x80U];
}

// The Windows-1251 byte of a code point, or -1 where it has none.
constexpr int cp1251_of_code_point(char32_t code_point) {
    if (code_point < 0x80) return static_cast<int>(code_point);
    if (code_point >= 0x410 && code_point <= 0x44F)
        return static_cast<int>(code_point - 0x410 + 0xC0);
    const auto* found = std::find(cp1251_upper.begin(), cp1251_upper.end(), code_point);
    return found == cp1251_upper.end() ? -1
                                       : static_cast<int>(0x80 + (found - cp1251_upper.begin()));
}

namespace detail {

// Not a constant expression: reaching it while compiling a text stops the compilation, with or
// without exceptions (a WebAssembly build has none).
inline char not_a_text_of_this_program() {
    return '?';
}

// Windows-1251 byte for a code point: ASCII as it is, А..я (U+0410..U+044F) from 0xC0, Ё and ё.
// Anything else is not a text of this program, and stops the compilation.
consteval char cp1251_byte(char32_t code_point) {
    const bool in_the_texts = code_point < 0x80 || (code_point >= 0x410 && code_point <= 0x44F) ||
                              code_point == 0x401 || code_point == 0x451;
    if (!in_the_texts) return not_a_text_of_this_program();
    return static_cast<char>(static_cast<unsigned char>(cp1251_of_code_point(code_point)));
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
            code_point = 0xFFFF;  // only one- and two-byte UTF-8 characters occur in the texts
        }
        text[out++] = detail::cp1251_byte(code_point);
    }
    return text;
}

// A Windows-1251 text in UTF-8, with no converter of the system's: '?' for 0x98.
inline std::string utf8_from_cp1251(std::string_view text) {
    std::string utf8;
    utf8.reserve(text.size() * 2);
    for (const char byte : text) {
        const char32_t c = code_point_of_cp1251(static_cast<unsigned char>(byte));
        if (c < 0x80) {
            utf8 += c == 0 && byte != 0 ? '?' : static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

}  // namespace console
