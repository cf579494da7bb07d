// Texts stored in Windows-1251 at compile time and converted to the terminal's character set.

#include "console/charset.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "console/cp1251.hpp"
#include "dialogue/texts.hpp"
#include "support/utf8.hpp"

namespace {

using console::charset_converter;
using console::cp1251;

using testing_support::utf8;

TEST(StoredTexts, AreWindows1251BytesEndingInNul) {
    constexpr auto root = cp1251(u8"Корень = ");
    EXPECT_STREQ(root.data(), "\xca\xee\xf0\xe5\xed\xfc = ");
    constexpr auto yo = cp1251(u8"Ёё АЯая");
    EXPECT_STREQ(yo.data(), "\xa8\xb8 \xc0\xdf\xe0\xff");
    EXPECT_EQ(std::string_view(dialogue::texts::greeting.data()).size(), 69U);
    EXPECT_EQ(std::string_view(dialogue::texts::ask_limit.data()).back(), ':');
}

TEST(Conversion, ToUtf8GivesTheOriginalText) {
    charset_converter to_utf8("UTF-8", "CP1251");
    ASSERT_TRUE(to_utf8.valid());
    EXPECT_EQ(to_utf8(dialogue::texts::greeting.data()),
              utf8(u8"Программа демонстрирует решение нелинейного уравнения методом Ньютона"));
    EXPECT_EQ(to_utf8(dialogue::texts::press_any_key.data()), utf8(u8"Нажмите любую клавишу"));
    EXPECT_EQ(to_utf8(""), "");
}

TEST(Conversion, ToEightBitCyrillicSets) {
    charset_converter to_koi8("KOI8-R", "CP1251");
    charset_converter to_cp866("CP866", "CP1251");
    const char* root = dialogue::texts::root_is.data();
    EXPECT_EQ(to_koi8(root), "\xeb\xcf\xd2\xc5\xce\xd8 = ");
    EXPECT_EQ(to_cp866(root), "\x8a\xae\xe0\xa5\xad\xec = ");
}

TEST(Conversion, AnyLengthConvertsWhole) {
    charset_converter to_utf8("UTF-8", "CP1251");
    std::string long_text;
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        long_text += dialogue::texts::greeting.data();
        expected += utf8(u8"Программа демонстрирует решение нелинейного уравнения методом Ньютона");
    }
    EXPECT_EQ(to_utf8(long_text), expected);
}

TEST(Conversion, WhatCannotBeShownBecomesAQuestionMark) {
    charset_converter to_latin1("ISO-8859-1", "CP1251");
    EXPECT_EQ(to_latin1("\xca\xee x"), "?? x");
    charset_converter to_utf8("UTF-8", "CP1251");
    EXPECT_EQ(to_utf8("a\x98z"), "a?z");  // 0x98 is no character in Windows-1251
    charset_converter from_utf8("CP1251", "UTF-8");
    EXPECT_EQ(from_utf8(utf8(u8"Ж€")), "\xc6\x88");
    EXPECT_EQ(from_utf8(utf8(u8"中")), "???");  // one '?' for each byte that does not convert
    EXPECT_EQ(from_utf8("\xd0"), "?");          // ends inside a character
    EXPECT_EQ(from_utf8("\x80"
                        "a"),
              "?a");  // malformed
}

TEST(Conversion, TheProgramsOwnTableAgreesWithIconv) {
    // The texts and keys of a UTF-8 terminal, and every text where iconv cannot convert, go
    // through the program's own Windows-1251 table, both ways.
    charset_converter to_utf8("UTF-8", "CP1251");
    for (int code = 1; code < 256; ++code) {
        const std::string byte(1, static_cast<char>(code));
        EXPECT_EQ(console::utf8_from_cp1251(byte), to_utf8(byte)) << "byte " << code;
        const char32_t code_point = console::code_point_of_cp1251(static_cast<unsigned char>(code));
        if (code_point != 0) {
            EXPECT_EQ(console::cp1251_of_code_point(code_point), code) << "byte " << code;
        }
    }
}

TEST(Conversion, AnUnknownCharacterSetIsNotValid) {
    charset_converter unknown("NO-SUCH-CHARSET", "CP1251");
    EXPECT_FALSE(unknown.valid());
    EXPECT_EQ(unknown("abc"), "");
}

}  // namespace
