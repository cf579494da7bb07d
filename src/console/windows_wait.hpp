// The Windows console's input mode for one key wait, as the key wait and its tests see it.
#pragma once

#include <windows.h>

namespace console {

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

    // Puts the saved mode back once; true when it is in force again.
    bool restore();

  private:
    bool active_ = false;
};

// The control handler installed while a wait's mode is in force: puts the saved mode back and
// returns FALSE, so that the event's default action still ends the process.
BOOL WINAPI put_mode_back_on_control_event(DWORD event);

}  // namespace console
