#include "console/windows_wait.hpp"

#include <atomic>

namespace console {

console_calls calls;

namespace {

// Shared with the control handler, which the system runs on a thread of its own.
HANDLE waiting_keyboard = INVALID_HANDLE_VALUE;
DWORD saved_mode = 0;
std::atomic<bool> mode_in_force{false};

// True when the saved mode is in force, whoever put it back.
bool put_back_saved_mode() {
    if (!mode_in_force.exchange(false)) return true;
    return tried_again([] { return calls.set_mode(waiting_keyboard, saved_mode) != 0; });
}

}  // namespace

BOOL WINAPI put_mode_back_on_control_event(DWORD) {
    put_back_saved_mode();
    return FALSE;
}

wait_input_mode::wait_input_mode(HANDLE keyboard) {
    DWORD mode = 0;
    if (keyboard == INVALID_HANDLE_VALUE || !GetConsoleMode(keyboard, &mode)) return;
    waiting_keyboard = keyboard;
    saved_mode = mode;
    mode_in_force = true;
    SetConsoleCtrlHandler(put_mode_back_on_control_event, TRUE);
    if (!calls.set_mode(keyboard, 0)) {
        mode_in_force = false;
        SetConsoleCtrlHandler(put_mode_back_on_control_event, FALSE);
        return;
    }
    active_ = true;
}

bool wait_input_mode::restore() {
    if (!active_) return true;
    active_ = false;
    const bool restored = put_back_saved_mode();
    SetConsoleCtrlHandler(put_mode_back_on_control_event, FALSE);
    return restored;
}

}  // namespace console
