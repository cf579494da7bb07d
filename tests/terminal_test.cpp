// The key wait on a pseudo-terminal that is the program's controlling terminal: which bytes end it,
// what the terminal's mode is afterwards, what is left unread, and how signals end it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "console/console.hpp"
#include "support/driven_clock.hpp"
#include "support/locales.hpp"
#include "support/process.hpp"
#include "support/target.hpp"
#include "support/utf8.hpp"

namespace {

using namespace std::chrono_literals;
using testing_support::running_program;

class pseudo_terminal {
  public:
    pseudo_terminal() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)) {
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) std::abort();
        path_ = ptsname(master_);
        observer_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~pseudo_terminal() {
        close(observer_);
        close_master();
    }
    pseudo_terminal(const pseudo_terminal&) = delete;
    pseudo_terminal& operator=(const pseudo_terminal&) = delete;

    const std::string& path() const { return path_; }

    termios mode() const {
        termios mode{};
        tcgetattr(observer_, &mode);
        return mode;
    }

    bool in_raw_mode() const { return (mode().c_lflag & ICANON) == 0; }

    // Waits until the program has switched the terminal for its key wait.
    bool becomes_raw(std::chrono::milliseconds limit = 5s) const {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!in_raw_mode()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    // Types the bytes as fast as the terminal takes them; fails when it stops taking them.
    void type(const std::string& bytes) const {
        std::size_t done = 0;
        pollfd ready{master_, POLLOUT, 0};
        while (done < bytes.size() && poll(&ready, 1, 3000) > 0) {
            const ssize_t put = write(master_, bytes.data() + done, bytes.size() - done);
            if (put > 0) done += static_cast<std::size_t>(put);
        }
        ASSERT_EQ(done, bytes.size()) << "the terminal stopped taking input";
    }

    int observer() const { return observer_; }

    int unread() const {
        int count = -1;
        ioctl(observer_, FIONREAD, &count);
        return count;
    }

    // What the program wrote to the terminal so far.
    std::string shown() {
        while (take_output(50ms)) {
        }
        return std::exchange(output_, {});
    }

    // Waits until the program has begun its `count`th key wait: it has switched bracketed paste
    // on that many times, and then the terminal to raw mode.
    bool wait_begins(int count) {
        const std::string paste_on = "\x1b[?2004h";
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        for (;;) {
            int seen = 0;
            for (std::size_t at = output_.find(paste_on); at != std::string::npos;
                 at = output_.find(paste_on, at + 1))
                ++seen;
            if (seen >= count) return becomes_raw();
            if (std::chrono::steady_clock::now() > deadline) return false;
            take_output(10ms);
        }
    }

    void close_master() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

  private:
    // Adds what the program wrote, waiting for it up to `limit`; false when nothing came.
    bool take_output(std::chrono::milliseconds limit) {
        std::array<char, 256> chunk{};
        pollfd ready{master_, POLLIN, 0};
        if (poll(&ready, 1, static_cast<int>(limit.count())) <= 0 || (ready.revents & POLLIN) == 0)
            return false;
        const ssize_t got = read(master_, chunk.data(), chunk.size());
        if (got <= 0) return false;
        output_.append(chunk.data(), static_cast<std::size_t>(got));
        return true;
    }

    int master_;
    std::string path_;
    int observer_;
    std::string output_;
};

bool same_mode(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

constexpr const char* dialogue_input = "0 0.001 100 and more input that the wait must not take";
constexpr const char8_t* prompts =
    u8"Программа демонстрирует решение нелинейного уравнения методом Ньютона\n"
    u8"Введите начальное приближение X0: Введите точность расчета: "
    u8"Введите максимальное число итераций:";

testing_support::launch on_terminal(const std::string& path) {
    testing_support::launch how;
    how.input = dialogue_input;
    how.terminal = path;
    return how;
}

// What the program writes to the terminal around a key wait: bracketed paste on for the wait and
// off after it, then a line end, so that the shell's prompt starts on a line of its own.
constexpr const char* shown_around_a_key = "\x1b[?2004h\x1b[?2004l\r\n";

struct waiting_program {
    pseudo_terminal terminal;
    termios before = terminal.mode();
    running_program program{on_terminal(terminal.path())};
};

TEST(KeyWait, EndsOnAKeyAndLeavesTheTerminalAsItWas) {
    struct key_case {
        const char* key;
        std::vector<std::string> environment = on_terminal("").environment;
        const char* shown = shown_around_a_key;
        int descriptors_taken = 0;
        int status = 0;
        const char8_t* errors = u8"";
    };
    const std::vector<std::string> dumb = {"LC_ALL=C.UTF-8", "TERM=dumb"};
    std::vector<std::string> mode_stays = on_terminal("").environment;
    mode_stays.insert(mode_stays.end(),
                      {"LD_PRELOAD=" MODE_CALL_SHIM, "NEWTON_FAIL_TCSETATTR_FROM=2"});
    const key_case keys[] = {
        {"a"},
        {"\r"},
        {" "},
        {"\x03"},
        {"\x1a"},
        {"\x1c"},
        {"\x13"},
        {"\x11"},  // Ctrl+S and Ctrl+Q: no flow control
        {"\x1b[A"},
        {"\x1bOP"},
        {"\x1b[15;5~"},
        {"\x1b[[A"},
        {"\x1b[11^"},
        {"\x1b\x61"},  // Alt+a
        {"\xd0\x96"},
        // A terminal that would show the bracketed-paste switches as text gets none.
        {"b", {"LC_ALL=C.UTF-8"}, "\r\n"},
        {"c", {"LC_ALL=C.UTF-8", "TERM="}, "\r\n"},
        {"d", dumb, "\r\n"},
        // The terminal's descriptor above 1023: a parent left a thousand descriptors open.
        {"e", on_terminal("").environment, shown_around_a_key, 1100},
        // The mode cannot be put back: the program says so and fails.
        {"f", mode_stays, "\x1b[?2004h\x1b[?2004l", 0, 1,
         u8"Не удалось восстановить режим ввода консоли\n"},
    };
    for (const key_case& key : keys) {
        SCOPED_TRACE(testing::Message() << "key of " << std::string(key.key).size() << " bytes, "
                                        << key.environment.back() << ", " << key.descriptors_taken
                                        << " descriptors taken");
        pseudo_terminal terminal;
        const termios before = terminal.mode();
        testing_support::launch how = on_terminal(terminal.path());
        how.environment = key.environment;
        how.descriptors_taken = key.descriptors_taken;
        if (key.status != 0 && !testing_support::preload_reaches_program("mode not put back"))
            continue;
        running_program program(how);
        ASSERT_TRUE(terminal.becomes_raw());
        terminal.type(key.key);
        ASSERT_TRUE(program.ended_within(5s));
        const int status = program.result().status;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == key.status) << "status " << status;
        EXPECT_EQ(program.result().err, testing_support::utf8(key.errors));
        if (key.status == 0) {
            EXPECT_TRUE(same_mode(terminal.mode(), before));
        }
        EXPECT_EQ(terminal.unread(), 0);
        EXPECT_EQ(terminal.shown(), key.shown);
    }
}

TEST(KeyWait, IgnoredSequencesAndRedirectedInputKeepItWaiting) {
    // On the test's clock: each piece goes once the program has read the one before and waits.
    pseudo_terminal terminal;
    const termios before = terminal.mode();
    testing_support::driven_clock clock;
    testing_support::launch how = on_terminal(terminal.path());
    const std::vector<std::string> driven = clock.environment();
    how.environment.insert(how.environment.end(), driven.begin(), driven.end());
    if (!testing_support::preload_reaches_program("driven clock")) return;
    running_program program(how);
    ASSERT_TRUE(terminal.becomes_raw());
    std::int64_t typed = 0;
    // A focus report whose rest comes while the program waits for it, and a key with no row.
    for (const char* piece : {"\x1b", "[I", "\x1b[1;5E"}) {
        const std::int64_t waits = clock.waits();
        terminal.type(piece);
        typed += static_cast<std::int64_t>(std::string_view(piece).size());
        ASSERT_TRUE(clock.has_read(typed));
        ASSERT_TRUE(clock.waits_again(waits, program));
    }
    EXPECT_TRUE(clock.waits_for_input_only()) << "the wait for a key is over";
    EXPECT_FALSE(program.ended_within(0ms));
    const std::int64_t waits = clock.waits();
    terminal.type("\x1b");  // a lone Esc, once nothing follows it
    ASSERT_TRUE(clock.has_read(typed + 1));
    ASSERT_TRUE(clock.waits_again(waits, program));
    ASSERT_TRUE(clock.run_until_end(program, 1s));
    EXPECT_EQ(WEXITSTATUS(program.result().status), 0);
    EXPECT_TRUE(same_mode(terminal.mode(), before));
}

// Lines a paste might hold: shell commands.
std::string commands(std::size_t size) {
    std::string text;
    while (text.size() < size) text += "echo PASTED\r";
    return text;
}

// One thing that happens while the program waits, with the program's clock first set `at` (when
// given): bytes typed, a signal sent, or the bytes the program left unread taken by the shell.
struct event {
    std::string typed;
    int signal = 0;
    bool shell_reads = false;
    std::chrono::milliseconds at{-1};
};
event typed(std::string bytes, std::chrono::milliseconds at = -1ms) {
    return {std::move(bytes), 0, false, at};
}
event sent(int signal_number, std::chrono::milliseconds at = -1ms) {
    return {"", signal_number, false, at};
}
event shell_reads() {
    return {"", 0, true};
}

// A key held down for a fifth of a second, so that the wait is in its drain, then the events.
std::vector<event> after_a_key_held_down(const std::vector<event>& then) {
    std::vector<event> events = {typed("x")};
    for (int repeat = 1; repeat <= 20; ++repeat) events.push_back(typed("x", repeat * 10ms));
    events.insert(events.end(), then.begin(), then.end());
    return events;
}

TEST(KeyWait, APasteDuringTheWaitNeverReachesTheShell) {
    // The program's clock is the test's: it stands still while the test types, however busy the
    // machine, and at the end runs from one of the program's deadlines to the next.
    struct paste {
        const char* name;
        std::vector<event> events;
        int ended_by = 0;  // the signal that ends the program; 0: it exits with status 0
        std::chrono::milliseconds ends_by = 1s;  // on the program's clock
        const char* preloaded = "";              // with the clock
        std::vector<std::string> environment = {};
    };
    const std::string start = "\x1b[200~";
    const std::string end = "\x1b[201~";
    std::vector<paste> pastes = {
        {"whole", {typed("hello\recho PASTED\r")}},
        {"in pieces 10 ms apart",
         {typed("\x1b[B"), typed("ls\r", 10ms), typed("echo PASTED\r", 20ms)}},
        {"1 MB at once, from a terminal that sends no paste markers", {typed(commands(1 << 20))}},
        {"no markers, 2 KB blocks for 1.5 s, 40 ms apart: more than a key sends at a time",
         {},
         0,
         2s,
         SLOW_READ,
         {"NEWTON_SLOW_READ_MS=10"}},
        {"20 KB bracketed, in pieces 150 ms apart, then a line 20 ms after its end", {}, 0, 3s},
        {"bracketed, a signal during it: the rest is read first, then the signal ends it",
         {typed(start + "echo PASTED\r"), sent(SIGTERM, 100ms), typed(commands(100), 400ms),
          typed(end + "echo PASTED\r", 600ms)},
         SIGTERM},
        {"bracketed, a signal during it, no end: the signal ends it a second later",
         {typed(start + "echo PASTED\r"), sent(SIGHUP, 100ms)},
         SIGHUP,
         1100ms},
        {"a signal during a burst: what is queued goes first",
         after_a_key_held_down({sent(SIGSTOP), typed(commands(100)), sent(SIGTERM), sent(SIGCONT)}),
         SIGTERM},
        {"stopped past the caps with a line queued: the line goes",
         after_a_key_held_down({sent(SIGSTOP), typed(commands(100)), sent(SIGCONT, 1300ms)}), 0,
         1300ms},
        {"stopped inside a paste whose end the shell read: the continue ends it",
         {typed(start + "echo PASTED\r"), sent(SIGSTOP, 100ms), typed(end), shell_reads(),
          sent(SIGCONT, 200ms)}},
        {"bracketed with no end: the paste's cap ends it",
         {typed(start + "echo PASTED\r")},
         0,
         30s},
    };
    for (int block = 0; block < 38; ++block)
        pastes[3].events.push_back(typed(commands(2000), block * 40ms));
    pastes[4].events.push_back(typed(start));
    for (int piece = 1; piece <= 10; ++piece)
        pastes[4].events.push_back(typed(commands(2000), piece * 150ms));
    pastes[4].events.push_back(typed(end, 1650ms));
    pastes[4].events.push_back(typed("ls\r", 1670ms));
    for (const paste& paste : pastes) {
        SCOPED_TRACE(paste.name);
        if (!testing_support::preload_reaches_program(paste.name)) continue;
        pseudo_terminal terminal;
        const termios before = terminal.mode();
        testing_support::driven_clock clock;
        testing_support::launch how = on_terminal(terminal.path());
        for (const auto& entries : {clock.environment(paste.preloaded), paste.environment})
            how.environment.insert(how.environment.end(), entries.begin(), entries.end());
        running_program program(how);
        ASSERT_TRUE(terminal.becomes_raw());
        bool stopped = false;
        std::int64_t typed_running = 0;  // bytes typed while the program ran, all to be read
        int typed_stopped = 0;           // bytes typed while it was stopped, left in the queue
        for (const event& event : paste.events) {
            if (event.at >= 0ms) clock.set(event.at);
            const std::int64_t waits = clock.waits();
            if (!event.typed.empty()) terminal.type(event.typed);
            ASSERT_FALSE(HasFatalFailure());
            if (stopped) {
                typed_stopped += static_cast<int>(event.typed.size());
                for (int tries = 0; tries < 5000 && terminal.unread() != typed_stopped; ++tries)
                    std::this_thread::sleep_for(1ms);
            } else {
                typed_running += static_cast<std::int64_t>(event.typed.size());
                ASSERT_TRUE(clock.has_read(typed_running));
            }
            if (event.shell_reads) {
                tcflush(terminal.observer(), TCIFLUSH);
                typed_stopped = 0;
            }
            if (event.signal != 0) {
                ASSERT_TRUE(program.signal(event.signal));
            }
            if (event.signal == SIGSTOP) {
                ASSERT_TRUE(program.stopped_within(5s));
                stopped = true;
            } else if (!stopped || event.signal == SIGCONT) {
                // The program has acted on what was typed and on the signal.
                stopped = false;
                ASSERT_TRUE(clock.waits_again(waits, program));
            }
        }
        ASSERT_TRUE(clock.run_until_end(program, paste.ends_by))
            << "at " << clock.now().count() << " ms";
        const int status = program.result().status;
        if (paste.ended_by == 0) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == paste.ended_by)
                << "status " << status;
        }
        EXPECT_EQ(terminal.unread(), 0);
        EXPECT_TRUE(same_mode(terminal.mode(), before));
    }
}

TEST(KeyWait, EverySignalThatEndsTheProcessRestoresTheTerminal) {
    // The same list as the program's, with the signals only some systems have where they exist.
    // clang-format off
    const int signals[] = {
        SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,    SIGFPE,  SIGUSR1, SIGSEGV,
        SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,   SIGSYS,
#ifdef SIGSTKFLT
        SIGSTKFLT,
#endif
#ifdef SIGPWR
        SIGPWR,
#endif
#ifdef SIGRTMIN
        SIGRTMIN, SIGRTMAX,
#endif
#ifdef __linux__
        32, 33,  // glibc keeps them from sigaction(); the program catches them all the same
#endif
    };
    // clang-format on
    for (const int signal_number : signals) {
        if (testing_support::under_emulator() && signal_number == SIGRTMAX) {
            std::cout << "skipped under qemu-user, which keeps SIGRTMAX for itself: SIGRTMAX\n";
            continue;
        }
        // qemu-user now and then dies by SIGSEGV itself, before the program's handler runs, when
        // kill sends it SIGILL or SIGFPE (a five-line program does the same).
        if (testing_support::under_emulator() &&
            (signal_number == SIGILL || signal_number == SIGFPE)) {
            std::cout << "skipped under qemu-user, which may crash on it: signal " << signal_number
                      << "\n";
            continue;
        }
        if (testing_support::under_emulator() && (signal_number == 32 || signal_number == 33)) {
            std::cout << "skipped under qemu-user, whose C library keeps it for itself: signal "
                      << signal_number << "\n";
            continue;
        }
        SCOPED_TRACE(testing::Message() << "signal " << signal_number);
        waiting_program waiting;
        ASSERT_TRUE(waiting.terminal.becomes_raw());
        ASSERT_TRUE(waiting.program.signal(signal_number));
        ASSERT_TRUE(waiting.program.ended_within(5s));
        const int status = waiting.program.result().status;
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number)
            << "status " << status;
        EXPECT_TRUE(same_mode(waiting.terminal.mode(), waiting.before));
    }
}

TEST(KeyWait, AHangUpEndsTheProgramPromptly) {
    waiting_program waiting;
    ASSERT_TRUE(waiting.terminal.becomes_raw());
    waiting.terminal.close_master();
    ASSERT_TRUE(waiting.program.ended_within(2s));
    const int status = waiting.program.result().status;
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGHUP) << "status " << status;
}

TEST(KeyWait, WithHangUpsIgnoredTheFailedReadEndsIt) {
    // The program inherits the ignored hang-up signal, as under nohup.
    std::signal(SIGHUP, SIG_IGN);
    waiting_program waiting;
    std::signal(SIGHUP, SIG_DFL);
    ASSERT_TRUE(waiting.terminal.becomes_raw());
    waiting.terminal.close_master();
    ASSERT_TRUE(waiting.program.ended_within(2s));
    const int status = waiting.program.result().status;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}

// How a job-control shell starts the program: in the foreground, or in the background (`&`),
// where it may inherit SIGTTIN ignored; with more environment entries (NAME=value).
struct job_start {
    bool in_foreground = true;
    bool ttin_ignored = false;
    std::vector<std::string> environment;
};

// The program as a job-control shell runs it: in a process group of its own in the terminal's
// session, whose leader stays alive as its parent, so that a stop really stops it. A job started in
// the background is brought to the foreground (and continued) when the test says so.
class shell_job {
  public:
    explicit shell_job(const std::string& terminal, job_start start = {}) {
        std::array<int, 2> channel{};
        if (pipe(channel.data()) != 0 || pipe(go_.data()) != 0 || pipe(done_.data()) != 0) return;
        leader_ = fork();
        if (leader_ == 0) {
            setsid();
            const int tty = open(terminal.c_str(), O_RDWR);
            const pid_t job = fork();
            if (job == 0) {
                setpgid(0, 0);
                if (start.ttin_ignored) std::signal(SIGTTIN, SIG_IGN);
                for (std::string& entry : start.environment) putenv(entry.data());
                const int nothing = open("/dev/null", O_RDWR);
                dup2(nothing, STDIN_FILENO);  // every read fails: the dialogue goes to its wait
                dup2(nothing, STDOUT_FILENO);
                std::vector<std::string> command = testing_support::program_command();
                std::vector<char*> argv = testing_support::exec_list(command);
                execv(argv[0], argv.data());
                _exit(127);
            }
            setpgid(job, job);
            if (start.in_foreground) tcsetpgrp(tty, job);
            [[maybe_unused]] const ssize_t sent = write(channel[1], &job, sizeof job);
            close(go_[1]);
            std::signal(SIGTTOU, SIG_IGN);  // the shell takes its terminal back from the background
            char go = 0;
            while (read(go_[0], &go, 1) == 1) {  // fg or bg
                tcsetpgrp(tty, go == 'f' ? job : getpgrp());
                kill(job, SIGCONT);  // the job is no longer stopped when this returns
                [[maybe_unused]] const ssize_t done = write(done_[1], &go, 1);
            }
            int status = 0;
            while (waitpid(job, &status, 0) != job) {
            }
            _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        }
        close(channel[1]);
        close(go_[0]);
        close(done_[1]);
        if (read(channel[0], &job_, sizeof job_) != sizeof job_) job_ = -1;
        close(channel[0]);
    }
    ~shell_job() {
        close(go_[1]);
        close(done_[0]);
        if (job_ > 0) kill(job_, SIGKILL);
        if (leader_ > 0) waitpid(leader_, nullptr, 0);
    }
    shell_job(const shell_job&) = delete;
    shell_job& operator=(const shell_job&) = delete;

    void signal(int signal_number) const { kill(job_, signal_number); }

    // The shell gives the job the terminal and continues it; done when the job is no longer
    // stopped.
    void bring_to_foreground() const { tell_the_shell('f'); }

    // The shell takes the terminal back and continues the job in the background.
    void continue_in_background() const { tell_the_shell('b'); }

    bool becomes_stopped() const {
        for (int tries = 0; tries < 5000; ++tries) {
            if (testing_support::is_stopped(job_)) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }

    // The program's exit status, as its leader passes it on (128 + the signal that ended it); -1
    // when it does not end in time.
    int exit_status() {
        close(go_[1]);
        go_[1] = -1;
        for (int tries = 0; tries < 5000; ++tries) {
            int status = 0;
            if (waitpid(leader_, &status, WNOHANG) == leader_) {
                leader_ = -1;
                job_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(1ms);
        }
        return -1;
    }

  private:
    void tell_the_shell(char go) const {
        char done = 0;
        if (write(go_[1], &go, 1) == 1) {
            [[maybe_unused]] const ssize_t got = read(done_[0], &done, 1);
        }
    }

    pid_t leader_ = -1;
    pid_t job_ = -1;
    std::array<int, 2> go_{-1, -1};
    std::array<int, 2> done_{-1, -1};
};

TEST(KeyWait, AStopPutsTheModeBackAndTheContinueMakesItRawAgain) {
    pseudo_terminal terminal;
    shell_job job(terminal.path());
    ASSERT_TRUE(terminal.becomes_raw());
    termios shell_mode =
        terminal.mode();  // stands for a mode a shell sets while the job is stopped

    // SIGSTOP cannot be caught: the mode stays raw, and the continue is what puts it right.
    // A stop signal's handler is there again for its second stop.
    const std::array<std::pair<int, tcflag_t>, 5> stops = {{{SIGTSTP, ECHOCTL},
                                                            {SIGTTIN, ECHOKE},
                                                            {SIGTTOU, ECHOCTL},
                                                            {SIGSTOP, ECHOKE},
                                                            {SIGTSTP, ECHOKE}}};
    for (const auto& [stop, shell_flag] : stops) {
        SCOPED_TRACE(testing::Message() << "signal " << stop);
        job.signal(stop);
        ASSERT_TRUE(job.becomes_stopped());
        EXPECT_EQ(terminal.in_raw_mode(), stop == SIGSTOP);
        shell_mode = terminal.mode();
        shell_mode.c_lflag ^= shell_flag;
        shell_mode.c_lflag |= ICANON;
        ASSERT_EQ(tcsetattr(terminal.observer(), TCSANOW, &shell_mode), 0);
        job.signal(SIGCONT);
        ASSERT_TRUE(terminal.becomes_raw());
    }
    job.signal(SIGCONT);  // while raw: the wait goes on, raw
    std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(terminal.in_raw_mode());

    terminal.type("\x1a");  // Ctrl+Z is a key
    EXPECT_EQ(job.exit_status(), 0);
    EXPECT_TRUE(same_mode(terminal.mode(), shell_mode));

    // The other tests' programs run in sessions of their own, whose process groups are orphaned:
    // the kernel drops the stop, and the wait goes on raw.
    waiting_program waiting;
    ASSERT_TRUE(waiting.terminal.becomes_raw());
    ASSERT_TRUE(waiting.program.signal(SIGTSTP));
    EXPECT_FALSE(waiting.program.ended_within(200ms));
    EXPECT_TRUE(waiting.terminal.in_raw_mode());
    waiting.terminal.type("x");
    ASSERT_TRUE(waiting.program.ended_within(5s));
    EXPECT_EQ(WEXITSTATUS(waiting.program.result().status), 0);
    EXPECT_TRUE(same_mode(waiting.terminal.mode(), waiting.before));

    // A stop during a bracketed paste waits for the paste's end: none of it is left for the shell.
    // The program's clock stands still until the end.
    pseudo_terminal pasted_into;
    const termios before_paste = pasted_into.mode();
    testing_support::driven_clock clock;
    shell_job pasting(pasted_into.path(), {.environment = clock.environment()});
    ASSERT_TRUE(pasted_into.becomes_raw());
    const std::string paste_start = "\x1b[200~echo PASTED\r";
    pasted_into.type(paste_start);
    ASSERT_TRUE(clock.has_read(static_cast<std::int64_t>(paste_start.size())));  // in its drain
    pasting.signal(SIGTSTP);
    pasted_into.type("echo PASTED\r\x1b[201~");
    ASSERT_TRUE(pasting.becomes_stopped());
    EXPECT_EQ(pasted_into.unread(), 0);
    EXPECT_TRUE(same_mode(pasted_into.mode(), before_paste));
    clock.set(1min);
    pasting.signal(SIGCONT);
    EXPECT_EQ(pasting.exit_status(), 0);
    EXPECT_TRUE(same_mode(pasted_into.mode(), before_paste));
}

// Brings the job to the foreground, where its wait begins, and ends the wait with a key: it exits
// with status 0 and leaves the terminal's mode as it was `before`.
void ends_in_the_foreground(shell_job& job, pseudo_terminal& terminal, const termios& before) {
    job.bring_to_foreground();
    ASSERT_TRUE(terminal.becomes_raw());
    terminal.type("x");
    EXPECT_EQ(job.exit_status(), 0);
    EXPECT_TRUE(same_mode(terminal.mode(), before));
}

TEST(KeyWait, InTheBackgroundTheTerminalIsLeftAloneUntilTheJobIsBroughtBack) {
    {
        SCOPED_TRACE("stopped by SIGTTIN before the wait, then brought to the foreground");
        pseudo_terminal terminal;
        const termios before = terminal.mode();
        shell_job job(terminal.path(), {.in_foreground = false, .environment = {}});
        ASSERT_TRUE(job.becomes_stopped());
        EXPECT_TRUE(same_mode(terminal.mode(), before));
        EXPECT_EQ(terminal.shown(), "");
        ASSERT_NO_FATAL_FAILURE(ends_in_the_foreground(job, terminal, before));
    }
    {
        SCOPED_TRACE("sent to the background while it reads the terminal's mode: it stops");
        pseudo_terminal terminal;
        const termios before = terminal.mode();
        shell_job job(terminal.path(), {.environment = {"LD_PRELOAD=" MODE_CALL_SHIM,
                                                        "NEWTON_STOP_IN_TCGETATTR=1"}});
        if (testing_support::preload_reaches_program("stop in tcgetattr")) {
            ASSERT_TRUE(job.becomes_stopped());  // the mode read, the terminal not yet raw
            job.continue_in_background();
            ASSERT_TRUE(job.becomes_stopped());
            EXPECT_TRUE(same_mode(terminal.mode(), before));
            ASSERT_NO_FATAL_FAILURE(ends_in_the_foreground(job, terminal, before));
        }
    }
    {
        SCOPED_TRACE("SIGTTIN ignored: no stop, and no wait");
        pseudo_terminal terminal;
        const termios before = terminal.mode();
        shell_job job(terminal.path(),
                      {.in_foreground = false, .ttin_ignored = true, .environment = {}});
        EXPECT_EQ(job.exit_status(), 0);
        EXPECT_TRUE(same_mode(terminal.mode(), before));
        EXPECT_EQ(terminal.shown(), "");
    }
    {
        SCOPED_TRACE("stopped during the wait, continued in the background (bg), then fg");
        pseudo_terminal terminal;
        const termios before = terminal.mode();
        shell_job job(terminal.path());
        ASSERT_TRUE(terminal.becomes_raw());
        job.signal(SIGTSTP);
        ASSERT_TRUE(job.becomes_stopped());
        job.continue_in_background();
        std::this_thread::sleep_for(200ms);
        EXPECT_TRUE(same_mode(terminal.mode(), before));
        ASSERT_NO_FATAL_FAILURE(ends_in_the_foreground(job, terminal, before));
    }
}

TEST(KeyWait, SignalsCloseTogetherNeverLeaveTheTerminalRaw) {
    // The program stops itself in its second tcsetattr, before the change: the first signal's
    // handler is putting the mode back. The second signal comes there, then the continue.
    const std::vector<std::string> stop_in_restore = {"LD_PRELOAD=" MODE_CALL_SHIM,
                                                      "NEWTON_STOP_IN_TCSETATTR=2"};
    if (!testing_support::preload_reaches_program("stop in tcsetattr")) return;
    // A continue while the mode goes back must not make it raw again, though SIGCONT is delivered
    // before SIGVTALRM.
    for (const auto& [first, second] : {std::pair{SIGTERM, SIGTERM}, std::pair{SIGUSR1, SIGTERM},
                                        std::pair{SIGVTALRM, SIGCONT}}) {
        SCOPED_TRACE(testing::Message() << "signals " << first << " and " << second);
        pseudo_terminal terminal;
        const termios before = terminal.mode();
        testing_support::launch how = on_terminal(terminal.path());
        how.environment.insert(how.environment.end(), stop_in_restore.begin(),
                               stop_in_restore.end());
        running_program program(how);
        ASSERT_TRUE(terminal.becomes_raw());
        ASSERT_TRUE(program.signal(first));
        ASSERT_TRUE(program.stopped_within(5s));
        ASSERT_TRUE(program.signal(second));
        ASSERT_TRUE(program.signal(SIGCONT));
        ASSERT_TRUE(program.ended_within(5s));
        const int status = program.result().status;
        EXPECT_TRUE(WIFSIGNALED(status) &&
                    (WTERMSIG(status) == first || WTERMSIG(status) == second))
            << "status " << status;
        EXPECT_TRUE(same_mode(terminal.mode(), before));
    }
    {
        SCOPED_TRACE(
            "SIGCONT while a stop puts the mode back, SIGTERM once a continue made it raw");
        pseudo_terminal terminal;
        const termios before = terminal.mode();
        shell_job job(terminal.path(), {.environment = stop_in_restore});
        ASSERT_TRUE(terminal.becomes_raw());
        job.signal(SIGTSTP);
        ASSERT_TRUE(job.becomes_stopped());  // in the stop's tcsetattr
        // It goes on; the continue's handler is held off until the stop has put the mode back,
        // and the stop discards it: it stops all the same.
        job.signal(SIGCONT);
        ASSERT_TRUE(job.becomes_stopped());
        EXPECT_TRUE(same_mode(terminal.mode(), before));
        job.signal(SIGCONT);
        ASSERT_TRUE(terminal.becomes_raw());
        job.signal(SIGTERM);
        EXPECT_EQ(job.exit_status(), 128 + SIGTERM);
        EXPECT_TRUE(same_mode(terminal.mode(), before));
    }
}

TEST(ClosedStreams, NeverFallBackToTheTerminal) {
    struct stream_case {
        const char* name;
        void (*adjust)(testing_support::launch&);
        bool waits;  // the program reaches its key wait
        int status;
        std::u8string errors;
        std::u8string output_has;
    };
    const std::u8string write_failed = u8"Ошибка записи в стандартный вывод: ";
    const stream_case cases[] = {
        {"standard input closed: every read fails, and the wait comes at once",
         [](testing_support::launch& how) { how.input_closed = true; }, true, 0, u8"",
         u8"Решение не найдено"},
        {"standard output closed: a write failure, nothing on the terminal",
         [](testing_support::launch& how) { how.output = testing_support::output_to::closed; },
         false, 1, write_failed + u8"поток закрыт\n", u8""},
        {"standard output fails after the prompts: no wait",
         [](testing_support::launch& how) {
             how.output_limit = static_cast<long>(testing_support::utf8(prompts).size());
         },
         false, 1, write_failed + u8"превышен предельный размер файла\n", u8""},
        {"standard input a terminal, standard output failing: no read, no wait",
         [](testing_support::launch& how) {
             how.input_from_terminal = true;
             how.output = testing_support::output_to::full_device;
         },
         false, 1, write_failed + u8"нет места на устройстве\n", u8""},
        {"standard error closed: the exponential's reports go nowhere",
         [](testing_support::launch& how) {
             how.input = "-710 0.001 100";
             how.errors_closed = true;
         },
         true, 0, u8"", u8"Решение не найдено"},
    };
    for (const stream_case& c : cases) {
        SCOPED_TRACE(c.name);
        pseudo_terminal terminal;
        testing_support::launch how = on_terminal(terminal.path());
        c.adjust(how);
        running_program program(how);
        if (c.waits) {
            ASSERT_TRUE(terminal.becomes_raw());
            terminal.type("x");
        }
        ASSERT_TRUE(program.ended_within(5s));
        const int status = program.result().status;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << "status " << status;
        EXPECT_EQ(program.result().err, testing_support::utf8(c.errors));
        EXPECT_NE(program.result().out.find(testing_support::utf8(c.output_has)),
                  std::string::npos);
        EXPECT_EQ(terminal.shown(), c.waits ? shown_around_a_key : "");
    }
}

struct key_wait_run {
    std::array<int, 2> codes{-9, -9};  // -9: a result that never came; -2: a call not made
    int unread = -1;                   // bytes left unread on the terminal afterwards
};

// LC_ALL and, when it is a built one, LOCPATH.
struct child_locale {
    std::string name = "C.UTF-8";
    std::string path;
};

// wait_key in a child of this process, in a session of its own. With a terminal, that terminal is
// the child's controlling terminal, and each of `keys` is typed once the wait for it has begun
// (the bracketed-paste switch seen and the terminal raw); without one, the child has no
// controlling terminal. The child calls wait_key a second time when `always_twice` is set or the
// first code is 0, an extended key's. With `descriptors_taken`, the terminal is opened above that
// many descriptors, which are closed again before the wait.
struct child_wait {
    std::vector<std::string> keys;
    bool always_twice = false;
    bool with_terminal = true;
    child_locale locale = {};
    int descriptors_taken = 0;
};

// Opens the descriptors from 3 up to `last` that are free, on /dev/null; returns them.
std::vector<int> take_free_descriptors(int last) {
    rlimit open_files{};
    getrlimit(RLIMIT_NOFILE, &open_files);
    open_files.rlim_cur = open_files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &open_files);
    const int nothing = open("/dev/null", O_RDONLY);
    std::vector<int> taken = {nothing};
    for (int descriptor = 3; descriptor <= last; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) == -1 && dup2(nothing, descriptor) == descriptor)
            taken.push_back(descriptor);
    }
    return taken;
}

key_wait_run wait_key_in_child(const child_wait& how) {
    pseudo_terminal terminal;
    key_wait_run run;
    std::array<int, 2> channel{};
    if (pipe(channel.data()) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        if (how.with_terminal) close(open(terminal.path().c_str(), O_RDWR));
        setenv("LC_ALL", how.locale.name.c_str(), 1);
        setenv("TERM", "xterm", 1);
        if (!how.locale.path.empty()) setenv("LOCPATH", how.locale.path.c_str(), 1);
        const std::vector<int> taken = take_free_descriptors(how.descriptors_taken);
        console::start();
        for (const int descriptor : taken) close(descriptor);
        std::array<int, 2> codes{console::wait_key(), -2};
        if (how.always_twice || codes[0] == 0) codes[1] = console::wait_key();
        _exit(write(channel[1], codes.data(), sizeof codes) == sizeof codes ? 0 : 1);
    }
    close(channel[1]);
    int waits = 0;
    for (const std::string& key : how.keys) {
        if (!how.with_terminal || !terminal.wait_begins(++waits)) break;
        terminal.type(key);
    }
    pollfd ready{channel[0], POLLIN, 0};
    if (poll(&ready, 1, 5000) > 0) {
        [[maybe_unused]] const ssize_t got = read(channel[0], run.codes.data(), sizeof run.codes);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(channel[0]);
    run.unread = terminal.unread();
    return run;
}

std::array<int, 2> wait_key_twice(const std::string& keys, bool with_terminal = true) {
    return wait_key_in_child({.keys = {keys}, .always_twice = true, .with_terminal = with_terminal})
        .codes;
}

TEST(WaitKey, AnExtendedKeyGivesZeroThenItsSecondCodeWithoutWaiting) {
    EXPECT_EQ(wait_key_twice("\x1bOP"), (std::array<int, 2>{0, 59}));      // F1
    EXPECT_EQ(wait_key_twice("\x1b[1;3A"), (std::array<int, 2>{0, 152}));  // Alt+Up
}

TEST(WaitKey, ACharacterComesInWindows1251) {
    // The second call reads again, so its key comes after the first wait has ended.
    const auto two_keys = [](std::string first, std::string second) {
        return wait_key_in_child(
                   {.keys = {std::move(first), std::move(second)}, .always_twice = true})
            .codes;
    };
    EXPECT_EQ(two_keys("\xd0\x96", "\xe2\x82\xac"), (std::array<int, 2>{0xC6, 0x88}));  // Ж €
    EXPECT_EQ(two_keys("\xe4\xb8\xad", "\x7f"), (std::array<int, 2>{'?', 8}));

    // A character of a multibyte locale other than UTF-8 is read whole: Ж in EUC-JP.
    const child_locale euc_jp{"ja_JP.EUC-JP", testing_support::built_locale("ja_JP", "EUC-JP")};
    ASSERT_FALSE(euc_jp.path.empty()) << "localedef (package locales) is needed";
    const key_wait_run run = wait_key_in_child({.keys = {"\xa7\xa8"}, .locale = euc_jp});
    EXPECT_EQ(run.codes, (std::array<int, 2>{0xC6, -2}));
    EXPECT_EQ(run.unread, 0);
    std::filesystem::remove_all(euc_jp.path);
}

TEST(WaitKey, WithoutATerminalItReturnsAtOnce) {
    EXPECT_EQ(wait_key_twice("", false), (std::array<int, 2>{-1, -1}));
}

TEST(WaitKey, ATerminalAboveFdSetSizeIsMovedBelowItForSelect) {
    // This binary waits as macOS and the BSDs do, with select(); the terminal is opened above a
    // thousand descriptors, which are free again by the time of the wait.
    const key_wait_run run = wait_key_in_child({.keys = {"x"}, .descriptors_taken = 1100});
    EXPECT_EQ(run.codes, (std::array<int, 2>{'x', -2}));
    EXPECT_EQ(run.unread, 0);
}

constexpr std::array<int, 2> typed(int character) {
    return {character, -2};
}
constexpr std::array<int, 2> extended_key(int second_code) {
    return {0, second_code};
}

TEST(KeySequences, OneKeyOfEachKindIsReadWholeWithNothingLeft) {
    // One key press for each way the wait reads one and turns it into codes, as a terminal sends
    // it: a character, a control character, NUL, Alt as a leading ESC, a CSI and an SS3 sequence,
    // the longest sequence and a reported code point. The codes are wait_key's: a character's
    // code, or 0 and the classic PC keyboard's second code. The decoder's own tables hold the rest
    // of the keys and their prefixes.
    struct sent_key {
        const char* name;
        std::string bytes;
        std::array<int, 2> codes;
    };
    using namespace std::string_literals;
    const sent_key keys[] = {
        {"a", "a", typed('a')},
        {"Ctrl+A", "\x01", typed(1)},
        {"Ctrl+2", "\x00"s, extended_key(0x03)},
        {"Alt+A",
         "\x1b"
         "a",
         extended_key(0x1E)},
        {"Up", "\x1b[A", extended_key(0x48)},
        {"F1 (SS3)", "\x1bOP", extended_key(0x3B)},
        {"Ctrl+Enter (modifyOtherKeys)", "\x1b[27;5;13~", typed(10)},
        {"Ctrl+Shift+Ж (CSI u)", "\x1b[1046;6u", typed(0xC6)},
    };
    for (const sent_key& key : keys) {
        SCOPED_TRACE(key.name);
        const key_wait_run run = wait_key_in_child({.keys = {key.bytes}});
        EXPECT_EQ(run.codes, key.codes);
        EXPECT_EQ(run.unread, 0);
    }
}

}  // namespace
