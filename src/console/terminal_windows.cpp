// The console on Windows: text as characters to a console, or in code page 866 to a file or a pipe,
// whatever the system's code pages; and the key press read as input events from the console input
// device, CONIN$, never from standard input.

#include <windows.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <string>

#include "console/terminal.hpp"
#include "console/windows_key.hpp"
#include "console/windows_wait.hpp"

namespace console::platform {
namespace {

HANDLE keyboard = INVALID_HANDLE_VALUE;

// The texts are Windows-1251 whatever the system's ANSI code page.
std::wstring from_cp1251(std::string_view text) {
    const int size = static_cast<int>(text.size());
    std::wstring wide(static_cast<std::size_t>(size), L'\0');  // one character a byte
    const int converted = MultiByteToWideChar(1251, 0, text.data(), size, wide.data(), size);
    wide.resize(static_cast<std::size_t>(std::max(converted, 0)));
    return wide;
}

// Code page 866, the Russian console's own, is what a file or a pipe gets on every system.
std::string to_cp866(const std::wstring& wide) {
    const int size = static_cast<int>(wide.size());
    std::string text(static_cast<std::size_t>(size), '\0');  // one byte a character
    const int converted =
        WideCharToMultiByte(866, 0, wide.data(), size, text.data(), size, "?", nullptr);
    text.resize(static_cast<std::size_t>(std::max(converted, 0)));
    return text;
}

// Reads and drops the input events that come with the key (the rest of a paste, keys typed
// together), until the console has been quiet for 50 ms, for a second at most; then whatever is
// still queued is discarded: none of it reaches the command interpreter. A read that fails is tried
// again a moment later, within the same second, and the flush is tried again where it fails.
void drop_rest_of_burst() {
    constexpr ULONGLONG quiet_ms = 50;
    constexpr ULONGLONG cap_ms = 1000;
    constexpr ULONGLONG pause_after_failure_ms = 10;
    const ULONGLONG deadline = GetTickCount64() + cap_ms;
    std::array<INPUT_RECORD, 64> events{};
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        const auto wait = static_cast<DWORD>(std::min(quiet_ms, deadline - now));
        const DWORD waited = WaitForSingleObject(keyboard, wait);
        if (waited == WAIT_TIMEOUT) break;  // quiet: the burst is over
        DWORD read = 0;
        if (waited != WAIT_OBJECT_0 ||
            !calls.read_input(keyboard, events.data(), static_cast<DWORD>(events.size()), &read)) {
            Sleep(static_cast<DWORD>(std::min(pause_after_failure_ms, deadline - now)));
        }
    }
    tried_again([] { return calls.flush_input(keyboard) != 0; });
}

}  // namespace

void start() {
    keyboard = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

void write_text(stream to, std::string_view cp1251_text) {
    std::ostream& out = to == stream::output ? std::cout : std::cerr;
    const std::wstring wide = from_cp1251(cp1251_text);
    const HANDLE handle = GetStdHandle(to == stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(handle, &mode)) {  // a file, a pipe, or no handle at all
        out << to_cp866(wide);
        return;
    }
    // A console shows UTF-16 right whatever its code page, after what the stream wrote before.
    if (!out.flush()) return;
    DWORD written = 0;
    const auto size = static_cast<DWORD>(wide.size());
    if (!calls.write(handle, wide.data(), size, &written, nullptr) || written != size) {
        errno = EIO;
        out.setstate(std::ios_base::badbit);
    }
}

int read_key_code() {
    wait_input_mode mode(keyboard);
    if (!mode.active()) return -1;
    int code = -1;
    while (code < 0) {
        INPUT_RECORD event{};
        DWORD read = 0;
        // A failed read ends the wait; what came with it is dropped all the same.
        if (!calls.read_input(keyboard, &event, 1, &read) || read != 1) break;
        code = key_code_of(event);
    }
    drop_rest_of_burst();
    if (!mode.restore()) return mode_not_restored;
    return code;
}

int write_error() {
    // The C runtime reports a closed pipe as EINVAL; the system's own error tells it apart.
    if (errno == EINVAL) {
        const unsigned long system_error = _doserrno != 0 ? _doserrno : GetLastError();
        if (system_error == ERROR_BROKEN_PIPE || system_error == ERROR_NO_DATA ||
            system_error == ERROR_PIPE_NOT_CONNECTED) {
            return EPIPE;
        }
    }
    return errno;
}

}  // namespace console::platform
