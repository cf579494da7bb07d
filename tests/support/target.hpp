// The program the end-to-end tests start, and the bytes it writes for a text. The Linux program
// writes the tests' UTF-8 and LF as they are; the Windows program, run under Wine with a Russian
// locale, writes code page 866 and CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

// The command line that starts the program.
std::vector<std::string> program_command();

// Entries the program's environment needs beside the test's own.
std::vector<std::string> program_environment();

// Whether the program runs under an emulator (qemu-user for a cross-built program).
bool under_emulator();

// Whether a library preloaded into the program (LD_PRELOAD) reaches it: not under qemu-user, which
// would take it itself. When it does not, the case is reported skipped.
bool preload_reaches_program(std::string_view case_name);

// Whether a write to a closed pipe ends the program by SIGPIPE (POSIX) rather than failing.
bool closed_pipe_signals();

// `text` (UTF-8, LF line ends) as the program writes it.
std::string as_written(std::string_view text);

}  // namespace testing_support
