// Run in the console after newton.exe: prints how many input events are left in the console's
// input buffer, which the command interpreter would read next, and exits with that number.

#include <windows.h>

#include <cstdio>

int main() {
    const HANDLE keyboard =
        CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD pending = 0;
    if (!GetNumberOfConsoleInputEvents(keyboard, &pending)) return 255;
    std::printf("pending input events: %lu\n", pending);
    return static_cast<int>(pending);
}
