// The console on a POSIX terminal: the character set of the user's locale through iconv, and the
// key press read raw from the controlling terminal, /dev/tty, never from standard input.

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstring>
#include <cwchar>
#include <iostream>
#include <memory>
#include <string>

#include "console/charset.hpp"
#include "console/key_decoder.hpp"
#include "console/key_table.hpp"
#include "console/terminal.hpp"

namespace console::platform {
namespace {

constexpr int escape_wait_ms = 50;  // how long the rest of a key's sequence may take to arrive
constexpr std::size_t burst_cap = 64 * 1024;  // a key held down cannot keep the program alive
constexpr auto burst_time_cap = std::chrono::seconds(1);

int keyboard = -1;
std::string codeset = "UTF-8";

// Shared with the signal handlers, which act only while `waiting` is set: the mode to put back, the
// raw mode made from it, and whether the raw mode is what the program last set.
termios saved_mode{};
termios raw_mode{};
volatile std::sig_atomic_t waiting = 0;
volatile std::sig_atomic_t raw_in_force = 0;

// Every signal whose default action ends the process (SIGKILL cannot be caught), and the real-time
// signals, SIGRTMIN to SIGRTMAX, added where they are caught.
// clang-format off
constexpr std::array<int, 22> ending_signals = {
    SIGHUP,    SIGINT,    SIGQUIT,   SIGILL,    SIGTRAP,   SIGABRT,   SIGBUS,    SIGFPE,
    SIGUSR1,   SIGSEGV,   SIGUSR2,   SIGPIPE,   SIGALRM,   SIGTERM,   SIGSTKFLT, SIGXCPU,
    SIGXFSZ,   SIGVTALRM, SIGPROF,   SIGIO,     SIGPWR,    SIGSYS};
// clang-format on

termios raw_from(const termios& mode) {
    termios raw = mode;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);  // bytes as they come, not whole lines
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO);    // the key press is not shown
    raw.c_lflag &= ~static_cast<tcflag_t>(ISIG);    // Ctrl+C, Ctrl+\ and Ctrl+Z arrive as keys
    raw.c_lflag &= ~static_cast<tcflag_t>(IEXTEN);  // Ctrl+V and Ctrl+O arrive as keys
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON);    // Ctrl+S and Ctrl+Q arrive as keys
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL);   // Enter arrives as CR
    raw.c_iflag &= ~static_cast<tcflag_t>(INLCR);   // Ctrl+J arrives as LF
    raw.c_iflag &= ~static_cast<tcflag_t>(IGNCR);   // CR is not dropped
    raw.c_cc[VMIN] = 1;                             // a read returns as soon as one byte is there
    raw.c_cc[VTIME] = 0;                            // with no timer: poll() does the timing
    return raw;
}

bool same_mode(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag &&
           std::equal(std::begin(a.c_cc), std::end(a.c_cc), std::begin(b.c_cc));
}

// tcsetattr from a process that has been moved to the background would stop it with SIGTTOU; the
// mode must go back all the same. Safe in a signal handler.
// The set of one signal.
sigset_t only(int signal_number) {
    sigset_t set{};
    sigemptyset(&set);
    sigaddset(&set, signal_number);
    return set;
}

bool set_mode(const termios& mode) {
    const sigset_t ttou = only(SIGTTOU);
    sigset_t previous{};
    sigprocmask(SIG_BLOCK, &ttou, &previous);
    const bool set = tcsetattr(keyboard, TCSANOW, &mode) == 0;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return set;
}

// Puts the saved mode back if the raw mode is in force; true when the saved mode is in force.
bool put_back_saved_mode() {
    if (raw_in_force == 0) return true;
    raw_in_force = 0;
    return set_mode(saved_mode);
}

// After a stop, in the foreground: raw mode again. A mode that someone else set meanwhile (a shell
// puts its own back when a job stops) becomes the one to put back at the end. In the background
// the terminal is the shell's and is left alone; reading it stops the process until it is brought
// back, and the continue comes here again.
void resume_raw_mode() {
    if (waiting == 0 || tcgetpgrp(keyboard) != getpgrp()) return;
    termios current{};
    if (tcgetattr(keyboard, &current) != 0) return;
    if (!same_mode(current, raw_mode)) {
        saved_mode = current;
        raw_mode = raw_from(current);
    }
    if (set_mode(raw_mode)) raw_in_force = 1;
}

// A signal that ends the process during the wait: put the terminal back, then end by the same
// signal with its default action (SA_RESETHAND restored it, SA_NODEFER lets it through at once),
// with a core dump where that is the default.
void end_by_signal(int signal_number) {
    put_back_saved_mode();
    std::raise(signal_number);
}

void on_continue(int) {
    const int saved_errno = errno;
    resume_raw_mode();
    errno = saved_errno;
}

void stop_with_mode_put_back(int);

// How the wait handles a signal it catches.
struct sigaction wait_action(int signal_number) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    if (signal_number == SIGTSTP) {
        action.sa_handler = stop_with_mode_put_back;
    } else if (signal_number == SIGCONT) {
        action.sa_handler = on_continue;
    } else {
        action.sa_handler = end_by_signal;
        action.sa_flags = static_cast<int>(SA_RESETHAND | SA_NODEFER);
    }
    return action;
}

// SIGTSTP (kill -TSTP; Ctrl+Z itself is a key in raw mode): the terminal goes back to its mode,
// then the process stops with the default action. It goes on here after SIGCONT, or at once in an
// orphaned process group, whose stops the kernel drops; either way the wait goes on in raw mode.
void stop_with_mode_put_back(int) {
    const int saved_errno = errno;
    put_back_saved_mode();
    std::signal(SIGTSTP, SIG_DFL);
    std::raise(SIGTSTP);  // pending: the handler runs with SIGTSTP blocked
    const sigset_t tstp = only(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &tstp, nullptr);  // stops here
    const struct sigaction again = wait_action(SIGTSTP);
    sigaction(SIGTSTP, &again, nullptr);
    resume_raw_mode();
    errno = saved_errno;
}

// The signals the wait catches: the ending ones, the real-time ones, SIGTSTP and SIGCONT.
template <class Visit>
void for_each_caught_signal(Visit visit) {
    for (const int signal_number : ending_signals) visit(signal_number);
    for (int signal_number = SIGRTMIN; signal_number <= SIGRTMAX; ++signal_number)
        visit(signal_number);
    visit(SIGTSTP);
    visit(SIGCONT);
}

// Raw mode for one wait: switched on by the constructor, put back by restore() or the destructor,
// and by the handlers when a signal ends or stops the process meanwhile.
class raw_mode_guard {
  public:
    raw_mode_guard() {
        if (keyboard < 0 || tcgetattr(keyboard, &saved_mode) != 0) return;
        raw_mode = raw_from(saved_mode);
        const signal_block block;
        catch_signals();
        waiting = 1;
        raw_in_force = 1;
        // TCSANOW keeps whatever was typed ahead.
        if (!set_mode(raw_mode)) {
            raw_in_force = 0;
            waiting = 0;
            release_signals();
            return;
        }
        active_ = true;
    }
    ~raw_mode_guard() { restore(); }
    raw_mode_guard(const raw_mode_guard&) = delete;
    raw_mode_guard& operator=(const raw_mode_guard&) = delete;

    bool active() const { return active_; }

    // Puts the saved mode back once; true when it is in force again.
    bool restore() {
        if (!active_) return true;
        active_ = false;
        const signal_block block;
        waiting = 0;
        const bool restored = put_back_saved_mode();
        release_signals();
        return restored;
    }

  private:
    // Holds every signal off while the shared state and the handlers change.
    class signal_block {
      public:
        signal_block() {
            sigset_t all{};
            sigfillset(&all);
            sigprocmask(SIG_BLOCK, &all, &previous_);
        }
        ~signal_block() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
        signal_block(const signal_block&) = delete;
        signal_block& operator=(const signal_block&) = delete;

      private:
        sigset_t previous_{};
    };

    void catch_signals() {
        for_each_caught_signal([this](int signal_number) {
            const struct sigaction action = wait_action(signal_number);
            struct sigaction& previous = previous_[static_cast<std::size_t>(signal_number)];
            sigaction(signal_number, nullptr, &previous);
            // A signal the user chose to ignore (nohup, a background job) stays ignored; SIGCONT
            // continues the process whatever its action, so raw mode must come back regardless.
            if (previous.sa_handler != SIG_IGN || signal_number == SIGCONT)
                sigaction(signal_number, &action, nullptr);
        });
    }
    void release_signals() {
        for_each_caught_signal([this](int signal_number) {
            sigaction(signal_number, &previous_[static_cast<std::size_t>(signal_number)], nullptr);
        });
    }

    std::array<struct sigaction, NSIG> previous_{};
    bool active_ = false;
};

enum class arrival { byte, timeout, closed };

// Waits up to timeout_ms (-1: as long as it takes) for one byte of the keyboard.
arrival next_byte(int timeout_ms, unsigned char& byte) {
    pollfd ready{keyboard, POLLIN, 0};
    for (;;) {
        const int polled = poll(&ready, 1, timeout_ms);
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0) return arrival::timeout;
        if (polled < 0) return arrival::closed;
        const ssize_t got = read(keyboard, &byte, 1);
        if (got == 1) return arrival::byte;
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        return arrival::closed;  // end of file: the terminal hung up; or it failed
    }
}

charset_converter& to_cp1251() {
    static charset_converter converter("CP1251", codeset.c_str());
    return converter;
}

// A character of the user's locale, whatever its encoding (EUC-JP, GB18030, Big5 …), by the C
// library's own measure, so that none of its bytes is left for the shell.
std::size_t locale_character_length(std::span<const unsigned char> bytes) {
    std::mbstate_t state{};
    const std::size_t length =
        std::mbrlen(reinterpret_cast<const char*>(bytes.data()), bytes.size(), &state);
    if (length == static_cast<std::size_t>(-2)) return 0;  // only the beginning so far
    if (length == static_cast<std::size_t>(-1) || length == 0) return 1;
    return length;
}

// A character's code in Windows-1251: ASCII as it is, '?' for what has no single byte there.
int cp1251_code(std::string_view text, charset_converter& converter) {
    if (text.size() == 1 && static_cast<unsigned char>(text[0]) < 0x80) {
        return static_cast<unsigned char>(text[0]);
    }
    const std::string cp1251 = converter(text);
    return cp1251.size() == 1 ? static_cast<unsigned char>(cp1251[0]) : '?';
}

int code_of(const decoded_key& decoded, std::span<const unsigned char> bytes) {
    switch (decoded.what) {
        case decoded_key::kind::key:
            return key_code(decoded.vk, decoded.modifiers, 0);
        case decoded_key::kind::character: {
            const auto typed = bytes.subspan(decoded.first, decoded.used - decoded.first);
            return cp1251_code(
                std::string_view(reinterpret_cast<const char*>(typed.data()), typed.size()),
                to_cp1251());
        }
        case decoded_key::kind::code_point: {
            static charset_converter from_unicode("CP1251", "UTF-32LE");
            const char32_t c = decoded.code_point;
            const std::array<char, 4> utf32 = {
                static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF),
                static_cast<char>((c >> 16) & 0xFF), static_cast<char>((c >> 24) & 0xFF)};
            return c < 0x80
                       ? static_cast<int>(c)
                       : cp1251_code(std::string_view(utf32.data(), utf32.size()), from_unicode);
        }
        default:
            return -1;
    }
}

// Reads byte by byte until the bytes make a key with a code, so that nothing after it is taken.
int read_key_press() {
    const character_length length =
        codeset == "UTF-8" ? utf8_character_length : locale_character_length;
    std::array<unsigned char, 64> pending{};
    std::size_t size = 0;
    for (;;) {
        if (size == 0 && next_byte(-1, pending[size++]) != arrival::byte) return -1;
        const std::span<const unsigned char> bytes(pending.data(), size);
        decoded_key decoded = decode_key(bytes, true, length);
        if (decoded.what == decoded_key::kind::need_more) {
            if (size < pending.size()) {
                switch (next_byte(escape_wait_ms, pending[size])) {
                    case arrival::byte:
                        ++size;
                        continue;
                    case arrival::closed:
                        return -1;
                    case arrival::timeout:
                        break;
                }
            }
            decoded = decode_key(bytes, false, length);
        }
        const int code = code_of(decoded, bytes);
        if (code >= 0) return code;
        // Not a key we have a code for: drop its bytes and go on waiting.
        const std::size_t used = std::max<std::size_t>(decoded.used, 1);
        std::memmove(pending.data(), pending.data() + used, size - used);
        size -= used;
    }
}

// Reads and drops whatever comes in the same burst as the key, until the terminal has been quiet
// for the escape wait: the rest of a paste must never reach the shell as commands. Past the caps
// whatever is still queued is discarded at once.
void drop_rest_of_burst() {
    const auto deadline = std::chrono::steady_clock::now() + burst_time_cap;
    unsigned char byte = 0;
    for (std::size_t dropped = 0; next_byte(escape_wait_ms, byte) == arrival::byte; ++dropped) {
        if (dropped == burst_cap || std::chrono::steady_clock::now() >= deadline) {
            tcflush(keyboard, TCIFLUSH);
            return;
        }
    }
}

}  // namespace

void start() {
    // Only the character set comes from the user's locale: numbers keep the decimal point ".".
    std::setlocale(LC_CTYPE, "");
    const std::string locale_codeset = nl_langinfo(CODESET);
    // The C locale's ASCII cannot show Russian; terminals today show UTF-8.
    codeset =
        locale_codeset == "ANSI_X3.4-1968" || locale_codeset == "ASCII" ? "UTF-8" : locale_codeset;
    const int opened = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    // With a standard stream closed, the terminal would take its descriptor and the dialogue would
    // be read from it or written to it: it lives at 3 or above.
    keyboard = opened >= 0 && opened <= STDERR_FILENO
                   ? fcntl(opened, F_DUPFD_CLOEXEC, STDERR_FILENO + 1)
                   : opened;
    if (keyboard != opened) close(opened);
}

void write_text(stream to, std::string_view cp1251_text) {
    static charset_converter converter(codeset.c_str(), "CP1251");
    static charset_converter utf8_fallback("UTF-8", "CP1251");
    (to == stream::output ? std::cout : std::cerr)
        << (converter.valid() ? converter(cp1251_text) : utf8_fallback(cp1251_text));
}

int read_key_code() {
    raw_mode_guard raw;
    if (!raw.active()) return -1;
    const int code = read_key_press();
    if (code >= 0) drop_rest_of_burst();
    if (!raw.restore()) return -1;
    if (code >= 0) {
        // The shell's prompt starts on a line of its own, not after the closing text.
        [[maybe_unused]] const ssize_t ignored = write(keyboard, "\n", 1);
    }
    return code;
}

}  // namespace console::platform
