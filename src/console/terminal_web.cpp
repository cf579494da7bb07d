// The console in a web page. The page hands over, for each key press, the bytes xterm sends for it
// in UTF-8; it gives the program its standard input a line at a time, with a console's echo and
// line editing, and the next key press when the program asks for one.

#include <algorithm>
#include <array>
#include <cerrno>
#include <iostream>

#include "console/cp1251.hpp"
#include "console/key_decoder.hpp"
#include "console/terminal.hpp"

// The page's key wait: waits for the next key press, or what was typed ahead, and copies at most
// `capacity` of the bytes its terminal sent for it; page_no_keyboard where there is no keyboard (a
// run with piped input), which web/src/runtime.js (its readKey) answers.
extern "C" __attribute__((import_module("newton"), import_name("read_key"))) int page_read_key(
    unsigned char* into, int capacity);
constexpr int page_no_keyboard = 0;

namespace console::platform {

void start() {}

void write_text(stream to, std::string_view cp1251_text) {
    std::ostream& out = to == stream::output ? std::cout : std::cerr;
    out << utf8_from_cp1251(cp1251_text);
}

// The first key press of what the page hands over is the key; the rest of a paste or of keys typed
// together is dropped with it, as a console drops it.
int read_key_code() {
    std::array<unsigned char, 256> bytes{};
    for (;;) {
        const int got = page_read_key(bytes.data(), static_cast<int>(bytes.size()));
        if (got <= page_no_keyboard) return -1;
        std::span<const unsigned char> rest(bytes.data(), static_cast<std::size_t>(got));
        while (!rest.empty()) {
            const decoded_key decoded = decode_key(rest, false, utf8_character_length);
            const int code = key_press_code(decoded, rest, utf8_character_code);
            if (code >= 0) return code;
            rest = rest.subspan(std::min(std::max<std::size_t>(decoded.used, 1), rest.size()));
        }
    }
}

int write_error() {
    return errno;
}

}  // namespace console::platform
