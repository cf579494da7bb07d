#include "support/process.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "support/memory_file.hpp"
#include "support/target.hpp"

namespace testing_support {
namespace {

void write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put <= 0) return;  // the program stopped reading: the rest is not wanted
        done += static_cast<std::size_t>(put);
    }
}

// The signals the program inherits with their default action, whatever this process has: SIGPIPE,
// which this process ignores for its own writes, and Linux's 32 and 33, which GNU make starts its
// commands with ignored and glibc's sigaction() will not change.
void default_signal_actions() {
    ::signal(SIGPIPE, SIG_DFL);
#ifdef __linux__
    for (int signal_number = 32; signal_number < SIGRTMIN; ++signal_number) {
        const std::array<unsigned long, 4> default_action{};  // the kernel's: SIG_DFL, no flags
        syscall(SYS_rt_sigaction, signal_number, default_action.data(), nullptr, 8);
    }
#endif
}

// Descriptors 3 up to `last` open on /dev/null, as a parent may leave them (this process's own
// there close on exec); the program opens its terminal above them.
void take_descriptors(int last) {
    const int nothing = open("/dev/null", O_RDONLY);
    rlimit open_files{};
    getrlimit(RLIMIT_NOFILE, &open_files);
    open_files.rlim_cur = open_files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &open_files);
    for (int descriptor = 3; descriptor < last; ++descriptor) dup2(nothing, descriptor);
}

}  // namespace

std::vector<char*> exec_list(std::vector<std::string>& words) {
    std::vector<char*> list;
    for (std::string& word : words) list.push_back(word.data());
    list.push_back(nullptr);
    return list;
}

running_program::running_program(const launch& how)
    : out_(make_memory_file("stdout")), err_(make_memory_file("stderr")) {
    std::array<int, 2> input{};
    if (out_ < 0 || err_ < 0 || pipe(input.data()) != 0) {
        throw std::runtime_error("cannot make the program's streams");
    }
    for (const int end : input) fcntl(end, F_SETFD, FD_CLOEXEC);
    std::vector<std::string> environment = how.environment;
    for (std::string& entry : program_environment()) environment.push_back(std::move(entry));
    environment.emplace_back("PATH=/usr/bin:/bin");
    std::vector<char*> envp = exec_list(environment);
    std::vector<std::string> command = program_command();
    std::vector<char*> argv = exec_list(command);

    pid_ = fork();
    if (pid_ == 0) {
        setsid();  // no controlling terminal, unless the next open gives it one
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);  // SIGQUIT ends it without leaving a core file
        if (!how.terminal.empty()) {
            const int terminal = open(how.terminal.c_str(), O_RDWR);
            if (terminal < 0) _exit(126);
            close(terminal);
        }
        default_signal_actions();
        dup2(how.errors_into_output ? out_ : err_, STDERR_FILENO);
        if (how.errors_closed) close(STDERR_FILENO);
        if (how.output_limit >= 0) {
            ::signal(SIGXFSZ, SIG_IGN);
            const auto limit = static_cast<rlim_t>(how.output_limit);
            const rlimit file_size{limit, limit};
            setrlimit(RLIMIT_FSIZE, &file_size);
        }
        if (how.input_closed) {
            close(STDIN_FILENO);
        } else if (how.input_from_terminal) {
            const int terminal = open(how.terminal.c_str(), O_RDWR);
            if (terminal < 0 || dup2(terminal, STDIN_FILENO) != STDIN_FILENO) _exit(126);
            close(terminal);
        } else {
            dup2(input[0], STDIN_FILENO);
        }
        if (how.output == output_to::memory_file) {
            dup2(out_, STDOUT_FILENO);
        } else if (how.output == output_to::closed_pipe) {
            std::array<int, 2> ends{};
            if (pipe(ends.data()) != 0) _exit(126);
            close(ends[0]);  // nobody will read
            dup2(ends[1], STDOUT_FILENO);
        } else {
            close(STDOUT_FILENO);
            if (how.output == output_to::full_device &&
                open("/dev/full", O_WRONLY) != STDOUT_FILENO)
                _exit(126);
        }
        if (how.descriptors_taken > 0) take_descriptors(how.descriptors_taken);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(input[0]);
    ::signal(SIGPIPE, SIG_IGN);
    write_all(input[1], how.input);
    close(input[1]);
}

running_program::~running_program() {
    if (pid_ > 0 && status_ == -1) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(out_);
    close(err_);
}

bool running_program::ended_within(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (status_ == -1) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool running_program::signal(int signal_number) const {
    return status_ == -1 && kill(pid_, signal_number) == 0;
}

bool running_program::stopped_within(std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!is_stopped(pid_)) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

program_run running_program::result() const {
    return {status_, contents_of(out_), contents_of(err_)};
}

bool is_stopped(pid_t pid) {
    // Linux shows a process's state in /proc; elsewhere ps(1) tells it.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    if (stat) {
        std::string number;
        std::string name;
        char state = '?';
        stat >> number >> name >> state;
        return state == 'T';
    }
    const std::string command = "ps -o stat= -p " + std::to_string(pid);
    FILE* ps = popen(command.c_str(), "r");
    if (ps == nullptr) return false;
    const int state = std::fgetc(ps);
    pclose(ps);
    return state == 'T';
}

program_run run_program(const launch& how) {
    running_program program(how);
    if (!program.ended_within(std::chrono::seconds(10))) return {};
    return program.result();
}

}  // namespace testing_support
