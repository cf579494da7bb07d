// The Windows console's input mode for one key wait, and the console calls of the wait and the
// writes, as the key wait and its tests see them.
#pragma once

#include <windows.h>

namespace console {

// The console calls that can fail halfway through a wait or a write. Tests put failing ones in
// their place: the console under Wine never fails them.
struct console_calls {
    decltype(&ReadConsoleInputA) read_input = ReadConsoleInputA;
    decltype(&FlushConsoleInputBuffer) flush_input = FlushConsoleInputBuffer;
    decltype(&SetConsoleMode) set_mode = SetConsoleMode;
    decltype(&WriteConsoleW) write = WriteConsoleW;
};
extern console_calls calls;

// Makes a call that must not be left undone (the input buffer's flush, the mode put back) up to
// five times, 10 ms apart; true once it has succeeded.
template <class Call>
bool tried_again(Call call) {
    constexpr int attempts = 5;
    for (int attempt = 1;; ++attempt) {
        if (call()) return true;
        if (attempt == attempts) return false;
        Sleep(10);
    }
}

// Switches the console input to mode 0 (no line input, no echo, Ctrl+C a key) for as long as it
// lives; the saved mode comes back when it ends, and also when a console control event (Ctrl+Break,
// the window closed, logoff, shutdown) ends the process meanwhile.
class wait_input_mode {
  public:
    explicit wait_input_mode(HANDLE keyboard);
    ~wait_input_mode() { restore(); }
    wait_input_mode(const wait_input_mode&) = delete;
    wait_input_mode& operator=(const wait_input_mode&) = delete;

    // False when the console's mode could not be read or switched.
    bool active() const { return active_; }

    // Puts the saved mode back once, trying again where the call fails; true when it is in force
    // again.
    bool restore();

  private:
    bool active_ = false;
};

// The control handler installed while a wait's mode is in force: puts the saved mode back and
// returns FALSE, so that the event's default action still ends the process.
BOOL WINAPI put_mode_back_on_control_event(DWORD event);

}  // namespace console
