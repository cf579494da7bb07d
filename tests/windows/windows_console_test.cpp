// The Windows console: which input events end the key wait and with what code, the wait's cleanup
// when console calls fail, a failed console write, and the extended precision that start-up sets.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "console/console.hpp"
#include "console/terminal.hpp"
#include "console/windows_key.hpp"
#include "console/windows_wait.hpp"
#include "dialogue/dialogue.hpp"
#include "dialogue/texts.hpp"
#include "equation/extended.hpp"
#include "support/captured_stderr.hpp"

namespace {

using console::key_code_of;

INPUT_RECORD key_event(bool down, WORD virtual_key, char character, DWORD state = 0) {
    INPUT_RECORD event{};
    event.EventType = KEY_EVENT;
    event.Event.KeyEvent.bKeyDown = down ? TRUE : FALSE;
    event.Event.KeyEvent.wRepeatCount = 1;
    event.Event.KeyEvent.wVirtualKeyCode = virtual_key;
    event.Event.KeyEvent.uChar.AsciiChar = character;
    event.Event.KeyEvent.dwControlKeyState = state;
    return event;
}

INPUT_RECORD press(WORD virtual_key, char character, DWORD state = 0) {
    return key_event(true, virtual_key, character, state);
}

constexpr int extended(int second_code) {
    return 0x100 + second_code;
}

// The console's input device, made first where the suite runs without a console.
HANDLE console_input() {
    AllocConsole();
    return CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// Puts a press and a release of each character into the console's input buffer, as typed.
void type_keys(HANDLE keyboard, std::string_view keys) {
    for (const char key : keys) {
        const INPUT_RECORD events[] = {key_event(true, 'A', key), key_event(false, 'A', key)};
        DWORD written = 0;
        WriteConsoleInputA(keyboard, events, 2, &written);
    }
}

DWORD pending_events(HANDLE keyboard) {
    DWORD pending = 0;
    GetNumberOfConsoleInputEvents(keyboard, &pending);
    return pending;
}

TEST(WindowsKeyEvent, APressWithACharacterGivesTheCharacter) {
    EXPECT_EQ(key_code_of(press('A', 'a')), 'a');
    EXPECT_EQ(key_code_of(press('A', 'A', SHIFT_PRESSED)), 'A');
    EXPECT_EQ(key_code_of(press('C', 3, LEFT_CTRL_PRESSED)), 3);  // Ctrl+C is a key
    EXPECT_EQ(key_code_of(press(VK_RETURN, '\r')), 13);
    EXPECT_EQ(key_code_of(press(VK_OEM_3, '\xf1')), 0xF1);  // a Russian letter in code page 866
}

TEST(WindowsKeyEvent, AKeyWithoutACharacterIsLookedUpByModifier) {
    EXPECT_EQ(key_code_of(press(VK_F1, 0)), extended(59));
    EXPECT_EQ(key_code_of(press(VK_UP, 0)), extended(72));
    EXPECT_EQ(key_code_of(press(VK_F1, 0, SHIFT_PRESSED)), extended(84));
    EXPECT_EQ(key_code_of(press(VK_LEFT, 0, RIGHT_CTRL_PRESSED)), extended(115));
    EXPECT_EQ(key_code_of(press('A', 0, LEFT_ALT_PRESSED)), extended(30));
    EXPECT_EQ(key_code_of(press(VK_F12, 0, RIGHT_ALT_PRESSED)), extended(140));
    // Alt comes before Ctrl, Ctrl before Shift.
    EXPECT_EQ(key_code_of(press(VK_F1, 0, LEFT_ALT_PRESSED | LEFT_CTRL_PRESSED)), extended(104));
    EXPECT_EQ(key_code_of(press(VK_F1, 0, LEFT_CTRL_PRESSED | SHIFT_PRESSED)), extended(94));
    EXPECT_EQ(key_code_of(press('2', 0, LEFT_CTRL_PRESSED)), extended(3));
    EXPECT_EQ(key_code_of(press('6', 0, LEFT_CTRL_PRESSED)), 30);
}

TEST(WindowsKeyEvent, OtherEventsArePassedOver) {
    EXPECT_EQ(key_code_of(key_event(false, 'A', 'a')), -1);  // a release
    EXPECT_EQ(key_code_of(key_event(false, VK_RETURN, '\r')), -1);
    EXPECT_EQ(key_code_of(press(VK_SHIFT, 0, SHIFT_PRESSED)), -1);  // modifiers alone
    EXPECT_EQ(key_code_of(press(VK_CONTROL, 0, LEFT_CTRL_PRESSED)), -1);
    EXPECT_EQ(key_code_of(press(VK_MENU, 0, LEFT_ALT_PRESSED)), -1);
    EXPECT_EQ(key_code_of(press(VK_CAPITAL, 0, CAPSLOCK_ON)), -1);
    EXPECT_EQ(key_code_of(press('1', 0, LEFT_CTRL_PRESSED)), -1);  // no code in that state
    EXPECT_EQ(key_code_of(press(VK_NUMPAD5, 0, LEFT_ALT_PRESSED)), -1);

    INPUT_RECORD mouse{};
    mouse.EventType = MOUSE_EVENT;
    mouse.Event.MouseEvent.dwButtonState = FROM_LEFT_1ST_BUTTON_PRESSED;
    EXPECT_EQ(key_code_of(mouse), -1);
    INPUT_RECORD focus{};
    focus.EventType = FOCUS_EVENT;
    focus.Event.FocusEvent.bSetFocus = TRUE;
    EXPECT_EQ(key_code_of(focus), -1);
}

TEST(WindowsWait, AControlEventThatEndsTheProcessPutsTheModeBackFirst) {
    const HANDLE keyboard = console_input();
    DWORD before = 0;
    ASSERT_TRUE(GetConsoleMode(keyboard, &before));
    ASSERT_NE(before, 0U);
    console::wait_input_mode mode(keyboard);
    ASSERT_TRUE(mode.active());
    DWORD current = before;
    ASSERT_TRUE(GetConsoleMode(keyboard, &current));
    EXPECT_EQ(current, 0U);
    // Ctrl+Break: the mode goes back, and the default action is left to end the process.
    EXPECT_FALSE(console::put_mode_back_on_control_event(CTRL_BREAK_EVENT));
    ASSERT_TRUE(GetConsoleMode(keyboard, &current));
    EXPECT_EQ(current, before);
    EXPECT_TRUE(mode.restore());
    CloseHandle(keyboard);
}

// Console calls that fail as a console may under load (Wine's never does); each counts its calls.
int calls_made = 0;

BOOL WINAPI read_fails(HANDLE, PINPUT_RECORD, DWORD, LPDWORD) {
    return FALSE;
}
BOOL WINAPI read_fails_after_the_key(HANDLE keyboard, PINPUT_RECORD events, DWORD size,
                                     LPDWORD read) {
    return ++calls_made == 1 && ReadConsoleInputA(keyboard, events, size, read);
}
BOOL WINAPI read_with_the_key_held(HANDLE keyboard, PINPUT_RECORD events, DWORD size,
                                   LPDWORD read) {
    const BOOL done = ReadConsoleInputA(keyboard, events, size, read);
    type_keys(keyboard, "q");  // every read finds the key repeated: held past the drain's cap
    return done;
}
BOOL WINAPI flush_fails_twice(HANDLE keyboard) {
    return ++calls_made > 2 && FlushConsoleInputBuffer(keyboard);
}
BOOL WINAPI restore_fails_twice(HANDLE keyboard, DWORD mode) {
    if (mode != 0 && ++calls_made <= 2) return FALSE;
    return SetConsoleMode(keyboard, mode);
}
BOOL WINAPI restore_fails(HANDLE keyboard, DWORD mode) {
    return mode == 0 && SetConsoleMode(keyboard, mode);
}

TEST(WindowsWait, FailedConsoleCallsStillLeaveNothingForCmdAndTheModeBack) {
    struct failure {
        const char* name;
        console::console_calls calls;
        int code;        // what the wait returns
        bool mode_back;  // the saved input mode is in force afterwards
    };
    const console::console_calls working;
    const auto with = [working](auto change) {
        console::console_calls calls = working;
        change(calls);
        return calls;
    };
    const failure failures[] = {
        {"a failed read in the wait: what came with it is dropped all the same",
         with([](auto& c) { c.read_input = read_fails; }), -1, true},
        {"a failed read in the drain: the buffer is flushed all the same",
         with([](auto& c) { c.read_input = read_fails_after_the_key; }), 'q', true},
        {"a key held past the drain's cap: the buffer is flushed",
         with([](auto& c) { c.read_input = read_with_the_key_held; }), 'q', true},
        {"with the key held, the flush fails twice: it is tried again", with([](auto& c) {
             c.read_input = read_with_the_key_held;
             c.flush_input = flush_fails_twice;
         }),
         'q', true},
        {"putting the mode back fails twice: it is tried again",
         with([](auto& c) { c.set_mode = restore_fails_twice; }), 'q', true},
        {"the mode cannot be put back: the wait says so",
         with([](auto& c) { c.set_mode = restore_fails; }), console::mode_not_restored, false},
    };
    const HANDLE keyboard = console_input();
    DWORD before = 0;
    ASSERT_TRUE(GetConsoleMode(keyboard, &before));
    console::platform::start();
    for (const failure& f : failures) {
        SCOPED_TRACE(f.name);
        FlushConsoleInputBuffer(keyboard);
        type_keys(keyboard, "qdir");
        calls_made = 0;
        console::calls = f.calls;
        const int code = console::platform::read_key_code();
        console::calls = working;
        EXPECT_EQ(code, f.code);
        EXPECT_EQ(pending_events(keyboard), 0U);
        DWORD after = 0;
        ASSERT_TRUE(GetConsoleMode(keyboard, &after));
        EXPECT_EQ(after == before, f.mode_back) << "mode " << after;
        SetConsoleMode(keyboard, before);
    }
    CloseHandle(keyboard);
}

// The console's handles for standard output and error replaced for as long as it lives, so that the
// console layer writes to the C++ streams.
class standard_handles_replaced {
  public:
    explicit standard_handles_replaced(HANDLE replacement) {
        SetStdHandle(STD_OUTPUT_HANDLE, replacement);
        SetStdHandle(STD_ERROR_HANDLE, replacement);
    }
    ~standard_handles_replaced() {
        SetStdHandle(STD_OUTPUT_HANDLE, output_);
        SetStdHandle(STD_ERROR_HANDLE, error_);
    }
    standard_handles_replaced(const standard_handles_replaced&) = delete;
    standard_handles_replaced& operator=(const standard_handles_replaced&) = delete;

  private:
    HANDLE output_ = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE error_ = GetStdHandle(STD_ERROR_HANDLE);
};

TEST(WindowsWait, AModeThatCannotBePutBackFailsTheRunWithAMessage) {
    const HANDLE keyboard = console_input();
    DWORD before = 0;
    ASSERT_TRUE(GetConsoleMode(keyboard, &before));
    console::platform::start();
    FlushConsoleInputBuffer(keyboard);
    type_keys(keyboard, "q");
    std::istringstream input("0 0.001 100");
    std::ostringstream output;
    std::streambuf* const saved_input = std::cin.rdbuf(input.rdbuf());
    std::streambuf* const saved_output = std::cout.rdbuf(output.rdbuf());
    int status = -1;
    std::string errors;
    {
        const standard_handles_replaced not_a_console(INVALID_HANDLE_VALUE);
        const testing_support::captured_stderr captured;
        console::calls.set_mode = restore_fails;
        status = dialogue::run_dialogue();
        console::calls = {};
        std::cerr.flush();
        errors = captured.text();
    }
    std::cin.rdbuf(saved_input);
    std::cout.rdbuf(saved_output);
    SetConsoleMode(keyboard, before);
    CloseHandle(keyboard);
    EXPECT_EQ(status, 1);
    // The message in code page 866, as standard error takes it when it is not a console.
    const std::string_view message = dialogue::texts::mode_not_back.data();
    std::wstring wide(message.size(), L'\0');
    MultiByteToWideChar(1251, 0, message.data(), static_cast<int>(message.size()), wide.data(),
                        static_cast<int>(wide.size()));
    std::string expected(wide.size(), '\0');
    WideCharToMultiByte(866, 0, wide.data(), static_cast<int>(wide.size()), expected.data(),
                        static_cast<int>(expected.size()), nullptr, nullptr);
    EXPECT_NE(errors.find(expected), std::string::npos) << errors;
}

BOOL WINAPI console_write_fails(HANDLE, const VOID*, DWORD, LPDWORD written, LPVOID) {
    *written = 0;
    return FALSE;
}

TEST(WindowsWrite, AFailedConsoleWriteFailsTheStream) {
    AllocConsole();
    const HANDLE screen =
        CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    const standard_handles_replaced on_the_console(screen);
    console::calls.write = console_write_fails;
    console::platform::write_text(console::platform::stream::error, "\xc4\xe0");
    console::calls = {};
    EXPECT_TRUE(std::cerr.bad());
    EXPECT_EQ(console::platform::write_error(), EIO);
    std::cerr.clear();
    CloseHandle(screen);
}

TEST(WindowsWrite, AClosedPipeIsNamedAsOnPosix) {
    // The C runtime says EINVAL; the system's error says the pipe is closed.
    HANDLE read_end = nullptr;
    HANDLE write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
    CloseHandle(read_end);
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(write_end), _O_WRONLY);
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(_write(descriptor, "x", 1), -1);
    EXPECT_EQ(console::platform::write_error(), EPIPE);
    _close(descriptor);
}

unsigned short control_word() {
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    return control;
}

TEST(WindowsStart, LongDoubleIsExtendedPrecision) {
    unsigned short double_precision =
        static_cast<unsigned short>((control_word() & ~0x0300U) | 0x0200U);
    __asm__ volatile("fldcw %0" : : "m"(double_precision));
    ASSERT_EQ(control_word() & 0x0300U, 0x0200U);

    equation::use_extended_precision();
    EXPECT_EQ(control_word() & 0x0300U, 0x0300U);
    volatile long double tiny = 0x1p-60L;
    EXPECT_NE(1.0L + tiny, 1.0L);  // 53 bits would lose it
}

}  // namespace
