// The console on Windows: text through the system's ANSI-to-OEM conversion, and the key press read
// as input events from the console input device, CONIN$, never from standard input.

#include <windows.h>

#include <string>

#include "console/terminal.hpp"
#include "console/windows_key.hpp"

namespace console::platform {
namespace {

HANDLE keyboard = INVALID_HANDLE_VALUE;

// long double is extended precision only while the x87 precision control asks for a 64-bit
// significand; a C runtime may start with 53 bits.
void use_extended_precision() {
    constexpr unsigned short precision_control = 0x0300;  // bits 8-9: 11 is 64 bits
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control |= precision_control;
    __asm__ volatile("fldcw %0" : : "m"(control));
}

}  // namespace

void start() {
    use_extended_precision();
    keyboard = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

std::string terminal_text(std::string_view cp1251_text) {
    std::string text(cp1251_text);
    CharToOemA(text.c_str(), text.data());  // in place: one byte a character, same length
    return text;
}

int read_key_code() {
    DWORD saved_mode = 0;
    if (keyboard == INVALID_HANDLE_VALUE || !GetConsoleMode(keyboard, &saved_mode) ||
        !SetConsoleMode(keyboard, 0)) {  // no line input, no echo, Ctrl+C is a key
        return -1;
    }
    int code = -1;
    for (;;) {
        INPUT_RECORD event{};
        DWORD read = 0;
        if (!ReadConsoleInputA(keyboard, &event, 1, &read) || read != 1) {
            code = -1;
            break;
        }
        code = key_code_of(event);
        if (code >= 0) break;
    }
    if (!SetConsoleMode(keyboard, saved_mode)) return -1;
    return code;
}

}  // namespace console::platform
