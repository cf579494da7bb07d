// The console on a POSIX terminal, its text side: the character set of the user's locale, through
// iconv where it is not UTF-8, and the controlling terminal, /dev/tty, that the key wait reads.

#include "console/terminal_posix.hpp"

#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cwchar>
#include <iostream>
#include <span>
#include <string>

#include "console/charset.hpp"
#include "console/cp1251.hpp"
#include "console/posix_system.hpp"
#include "console/terminal.hpp"

namespace console::platform {
namespace {

int keyboard = -1;
bool sequences_shown = false;
std::string codeset = "UTF-8";

bool utf8_locale() {
    return codeset == "UTF-8";
}

// The texts' own character set, by the names glibc, macOS and the BSDs give it.
bool cp1251_locale() {
    return codeset == "CP1251" || codeset == "WINDOWS-1251" || codeset == "windows-1251";
}

// A character of the user's locale, whatever its encoding (EUC-JP, GB18030, Big5 …), by the C
// library's own measure, so that none of its bytes is left for the shell.
std::size_t multibyte_length(std::span<const unsigned char> bytes) {
    std::mbstate_t state{};
    const std::size_t length =
        std::mbrlen(reinterpret_cast<const char*>(bytes.data()), bytes.size(), &state);
    if (length == static_cast<std::size_t>(-2)) return 0;  // only the beginning so far
    if (length == static_cast<std::size_t>(-1) || length == 0) return 1;
    return length;
}

}  // namespace

void start() {
    // Only the character set comes from the user's locale: numbers keep the decimal point ".".
    std::setlocale(LC_CTYPE, "");
    const std::string locale_codeset = nl_langinfo(CODESET);
    // The C locale's ASCII (by its glibc, macOS or BSD name) cannot show Russian; terminals today
    // show UTF-8.
    const bool ascii = locale_codeset == "ANSI_X3.4-1968" || locale_codeset == "ASCII" ||
                       locale_codeset == "US-ASCII" || locale_codeset == "646";
    codeset = ascii ? "UTF-8" : locale_codeset;
    const int opened = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    // With a standard stream closed, the terminal would take its descriptor and the dialogue would
    // be read from it or written to it: it lives at 3 or above.
    keyboard = opened >= 0 && opened <= STDERR_FILENO
                   ? fcntl(opened, F_DUPFD_CLOEXEC, STDERR_FILENO + 1)
                   : opened;
    if (keyboard != opened) close(opened);
    const char* terminal = std::getenv("TERM");
    sequences_shown =
        terminal != nullptr && *terminal != '\0' && std::string_view(terminal) != "dumb";
}

// UTF-8 needs no converter of the system's; another character set goes through iconv, and where
// iconv cannot open it (no conversion modules: a minimal container, a static or emulated program)
// the texts go out as they are stored in a Windows-1251 locale, and in UTF-8 in any other rather
// than not at all.
void write_text(stream to, std::string_view cp1251_text) {
    std::ostream& out = to == stream::output ? std::cout : std::cerr;
    if (utf8_locale()) {
        out << utf8_from_cp1251(cp1251_text);
        return;
    }
    static charset_converter converter(codeset.c_str(), "CP1251");
    if (converter.valid()) {
        out << converter(cp1251_text);
    } else if (cp1251_locale()) {
        out << cp1251_text;
    } else {
        out << utf8_from_cp1251(cp1251_text);
    }
}

int write_error() {
    return errno;
}

int keyboard_device() {
    return keyboard;
}

int waitable_keyboard() {
    if (keyboard >= 0) keyboard = waitable_descriptor(keyboard);
    return keyboard;
}

bool escape_sequences_shown() {
    return sequences_shown;
}

character_length locale_character_length() {
    return utf8_locale() ? utf8_character_length : multibyte_length;
}

int cp1251_code(std::string_view typed) {
    if (utf8_locale()) return utf8_character_code(typed);
    if (typed.size() == 1 && static_cast<unsigned char>(typed[0]) < 0x80) {
        return static_cast<unsigned char>(typed[0]);
    }
    if (cp1251_locale()) return typed.size() == 1 ? static_cast<unsigned char>(typed[0]) : '?';
    static charset_converter to_cp1251("CP1251", codeset.c_str());
    const std::string cp1251 = to_cp1251(typed);
    return cp1251.size() == 1 ? static_cast<unsigned char>(cp1251[0]) : '?';
}

}  // namespace console::platform
