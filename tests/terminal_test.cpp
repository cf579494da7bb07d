// The key wait on a pseudo-terminal that is the program's controlling terminal: which bytes end it,
// what the terminal's mode is afterwards, what is left unread, and how signals end it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>

#include "console/console.hpp"
#include "support/process.hpp"

namespace {

using namespace std::chrono_literals;
using testing_support::running_program;

class pseudo_terminal {
  public:
    pseudo_terminal() : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
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

    void type(const std::string& bytes) const {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    int unread() const {
        int count = -1;
        ioctl(observer_, FIONREAD, &count);
        return count;
    }

    // What the program wrote to the terminal so far.
    std::string shown() const {
        std::string text;
        std::array<char, 256> chunk{};
        pollfd ready{master_, POLLIN, 0};
        while (poll(&ready, 1, 50) > 0 && (ready.revents & POLLIN) != 0) {
            const ssize_t got = read(master_, chunk.data(), chunk.size());
            if (got <= 0) break;
            text.append(chunk.data(), static_cast<std::size_t>(got));
        }
        return text;
    }

    void close_master() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

  private:
    int master_;
    std::string path_;
    int observer_;
};

bool same_mode(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

constexpr const char* dialogue_input = "0 0.001 100 and more input that the wait must not take";

testing_support::launch on_terminal(const std::string& path) {
    testing_support::launch how;
    how.input = dialogue_input;
    how.terminal = path;
    return how;
}

struct waiting_program {
    pseudo_terminal terminal;
    termios before = terminal.mode();
    running_program program{on_terminal(terminal.path())};
};

TEST(KeyWait, EndsOnAKeyAndLeavesTheTerminalAsItWas) {
    const char* keys[] = {"a",        "\r",     " ",          "\x03",    "\x1a",     "\x1c",
                          "\x1b[A",   "\x1bOP", "\x1b[15;5~", "\x1b[[A", "\x1b[11^",
                          "\x1b\x61",  // Alt+a
                          "\xd0\x96"};
    for (const char* key : keys) {
        SCOPED_TRACE(testing::Message() << "key of " << std::string(key).size() << " bytes");
        waiting_program waiting;
        ASSERT_TRUE(waiting.terminal.becomes_raw());
        waiting.terminal.type(key);
        ASSERT_TRUE(waiting.program.ended_within(5s));
        const int status = waiting.program.result().status;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_TRUE(same_mode(waiting.terminal.mode(), waiting.before));
        EXPECT_EQ(waiting.terminal.unread(), 0);
        EXPECT_EQ(waiting.terminal.shown(), "\r\n");  // the shell's prompt gets a line of its own
    }
}

TEST(KeyWait, IgnoredSequencesAndRedirectedInputKeepItWaiting) {
    waiting_program waiting;
    ASSERT_TRUE(waiting.terminal.becomes_raw());
    waiting.terminal.type("\x1b[I");     // a focus report
    waiting.terminal.type("\x1b[1;5E");  // a key with no row
    EXPECT_FALSE(waiting.program.ended_within(300ms));
    EXPECT_EQ(waiting.terminal.unread(), 0);
    waiting.terminal.type("\x1b");  // a lone Esc, once nothing follows it
    ASSERT_TRUE(waiting.program.ended_within(5s));
    EXPECT_EQ(WEXITSTATUS(waiting.program.result().status), 0);
    EXPECT_TRUE(same_mode(waiting.terminal.mode(), waiting.before));
}

TEST(KeyWait, TypeAheadAfterTheKeyIsLeftForTheShell) {
    waiting_program waiting;
    ASSERT_TRUE(waiting.terminal.becomes_raw());
    waiting.terminal.type("\x1b[Bls\r");
    ASSERT_TRUE(waiting.program.ended_within(5s));
    EXPECT_EQ(waiting.terminal.unread(), 3);
}

TEST(KeyWait, EndingSignalsRestoreTheTerminal) {
    for (const int signal_number : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
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
    EXPECT_TRUE(waiting.program.ended_within(2s));
}

// Two calls of wait_key in a child of this process, in a session of its own. With a terminal, that
// terminal is the child's controlling terminal and `keys` are typed once it is in raw mode; without
// one, the child has no controlling terminal. -9 stands for a result that never came.
std::array<int, 2> wait_key_twice(const std::string& keys, bool with_terminal = true) {
    pseudo_terminal terminal;
    std::array<int, 2> results{-9, -9};
    std::array<int, 2> channel{};
    if (pipe(channel.data()) != 0) return results;
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        if (with_terminal) close(open(terminal.path().c_str(), O_RDWR));
        setenv("LC_ALL", "C.UTF-8", 1);
        console::start();
        const std::array<int, 2> codes{console::wait_key(), console::wait_key()};
        _exit(write(channel[1], codes.data(), sizeof codes) == sizeof codes ? 0 : 1);
    }
    close(channel[1]);
    if (with_terminal && terminal.becomes_raw()) terminal.type(keys);
    pollfd ready{channel[0], POLLIN, 0};
    if (poll(&ready, 1, 5000) > 0) {
        [[maybe_unused]] const ssize_t got = read(channel[0], results.data(), sizeof results);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(channel[0]);
    return results;
}

TEST(WaitKey, AnExtendedKeyGivesZeroThenItsSecondCodeWithoutWaiting) {
    EXPECT_EQ(wait_key_twice("\x1bOP"), (std::array<int, 2>{0, 59}));      // F1
    EXPECT_EQ(wait_key_twice("\x1b[1;3A"), (std::array<int, 2>{0, 152}));  // Alt+Up
}

TEST(WaitKey, ACharacterComesInWindows1251) {
    // The second call reads again; the same bytes, typed once, end both waits.
    EXPECT_EQ(wait_key_twice("\xd0\x96\xe2\x82\xac"), (std::array<int, 2>{0xC6, 0x88}));  // Ж €
    EXPECT_EQ(wait_key_twice("\xe4\xb8\xad"
                             "\x7f"),
              (std::array<int, 2>{'?', 8}));
}

TEST(WaitKey, WithoutATerminalItReturnsAtOnce) {
    EXPECT_EQ(wait_key_twice("", false), (std::array<int, 2>{-1, -1}));
}

}  // namespace
