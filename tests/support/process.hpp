// Starts the built program in a session of its own, with the given standard input, its output and
// error collected in memory files, and optionally a terminal made its controlling terminal.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testing_support {

// Where the program's standard output goes.
enum class output_to { memory_file, closed, full_device, closed_pipe };

struct launch {
    std::string input;          // written to standard input, which is then closed
    bool input_closed = false;  // the program starts with no standard input at all
    output_to output = output_to::memory_file;
    std::string terminal;  // when set, this terminal becomes the program's controlling terminal
    bool input_from_terminal = false;  // standard input is that terminal, not `input`
    std::vector<std::string> environment = {"LC_ALL=C.UTF-8", "TERM=xterm"};
    bool errors_into_output = false;  // standard error goes to the same file as standard output
    bool errors_closed = false;       // the program starts with no standard error
    long output_limit = -1;     // when set, no file grows past this size, and SIGXFSZ is ignored
    int descriptors_taken = 0;  // when set, the program starts with descriptors 3 up to this open
};

struct program_run {
    int status = -1;  // as waitpid reports it
    std::string out;
    std::string err;
};

class running_program {
  public:
    explicit running_program(const launch& how);
    ~running_program();  // a program still running is killed
    running_program(const running_program&) = delete;
    running_program& operator=(const running_program&) = delete;

    // Waits up to `limit` for the program to end; true when it has.
    bool ended_within(std::chrono::milliseconds limit);

    // Sends a signal to the program; false when it has already ended.
    bool signal(int signal_number) const;

    // Waits up to `limit` for the program to be stopped; false when it ended or runs on.
    bool stopped_within(std::chrono::milliseconds limit) const;

    // The status and output; call after ended_within returned true.
    program_run result() const;

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    int out_ = -1;
    int err_ = -1;
};

// Pointers to the strings' characters, ended by a null pointer: an argument or environment list
// for execve.
std::vector<char*> exec_list(std::vector<std::string>& words);

// Whether the process is stopped (by a signal).
bool is_stopped(pid_t pid);

// Runs the program with no controlling terminal and returns its status and output. A program that
// runs longer than a few seconds is killed and reported with status -1.
program_run run_program(const launch& how);

}  // namespace testing_support
