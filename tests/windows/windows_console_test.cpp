// The Windows console: which input events end the key wait and with what code, and the extended
// precision that start-up sets.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "console/terminal.hpp"
#include "console/windows_key.hpp"
#include "console/windows_wait.hpp"

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
    AllocConsole();  // where the suite runs without a console, one of its own
    const HANDLE keyboard =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
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

    console::platform::start();
    EXPECT_EQ(control_word() & 0x0300U, 0x0300U);
    volatile long double tiny = 0x1p-60L;
    EXPECT_NE(1.0L + tiny, 1.0L);  // 53 bits would lose it
}

}  // namespace
