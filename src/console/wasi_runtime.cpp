// What the program needs of its WebAssembly runtime beyond the C and C++ libraries: the stack
// protector's symbols, and the room the page's waits unwind the call stack into. Linked into the
// program itself, so that nothing depends on the order in which the linker reads the libraries.

#include <array>

// Debian's WebAssembly compiler runtime was built with the stack protector and refers to these.
extern "C" {
unsigned long __stack_chk_guard = 0x2A5C3E91;
[[noreturn]] void __stack_chk_fail() {
    __builtin_trap();
}
}

// The page waits for input without blocking its browser: the module is transformed by Asyncify,
// which unwinds the program's call stack into this room while the page waits, then winds it back.
// The link exports its address; the page hands it to Asyncify.
namespace {
alignas(16) std::array<unsigned char, 4096> unwind_room;  // the deepest wait saves 392 bytes
}  // namespace
struct unwind_data {
    unsigned char* top;  // where the next saved frame goes
    unsigned char* end;
};
extern "C" unwind_data newton_unwind_data;
unwind_data newton_unwind_data = {unwind_room.data(), unwind_room.data() + unwind_room.size()};
