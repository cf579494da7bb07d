// The console on a POSIX terminal: the character set of the user's locale through iconv, and the
// key press read raw from the controlling terminal, /dev/tty, never from standard input.

#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <memory>
#include <string>

#include "console/charset.hpp"
#include "console/key_decoder.hpp"
#include "console/key_table.hpp"
#include "console/terminal.hpp"

namespace console::platform {
namespace {

constexpr int escape_wait_ms = 50;  // how long the rest of a key's sequence may take to arrive

int keyboard = -1;
std::string codeset = "UTF-8";

// Shared with the signal handler: the mode to put back, and whether raw mode is in force.
termios saved_mode{};
volatile std::sig_atomic_t raw_mode_on = 0;

constexpr std::array<int, 4> ending_signals = {SIGTERM, SIGHUP, SIGQUIT, SIGINT};

// tcsetattr from a process that has been moved to the background would stop it with SIGTTOU; the
// mode must go back all the same.
bool put_back_saved_mode() {
    sigset_t ttou{};
    sigset_t previous{};
    sigemptyset(&ttou);
    sigaddset(&ttou, SIGTTOU);
    sigprocmask(SIG_BLOCK, &ttou, &previous);
    const bool restored = tcsetattr(keyboard, TCSANOW, &saved_mode) == 0;
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    return restored;
}

// A signal that ends the process during the wait: put the terminal back, then end by the same
// signal with its default action (SA_RESETHAND restored it, SA_NODEFER lets it through at once).
void end_by_signal(int signal_number) {
    if (raw_mode_on != 0) put_back_saved_mode();
    std::raise(signal_number);
}

// Raw mode for one wait: switched on by the constructor, put back by restore() or the destructor,
// and by end_by_signal when a signal ends the process meanwhile.
class raw_mode {
  public:
    raw_mode() {
        if (keyboard < 0 || tcgetattr(keyboard, &saved_mode) != 0) return;
        catch_ending_signals();
        termios raw = saved_mode;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON);  // bytes as they come, not whole lines
        raw.c_lflag &= ~static_cast<tcflag_t>(ECHO);    // the key press is not shown
        raw.c_lflag &= ~static_cast<tcflag_t>(ISIG);    // Ctrl+C, Ctrl+\ and Ctrl+Z arrive as keys
        raw.c_lflag &= ~static_cast<tcflag_t>(IEXTEN);  // Ctrl+V and Ctrl+O arrive as keys
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON);    // Ctrl+S and Ctrl+Q arrive as keys
        raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL);   // Enter arrives as CR
        raw.c_iflag &= ~static_cast<tcflag_t>(INLCR);   // Ctrl+J arrives as LF
        raw.c_iflag &= ~static_cast<tcflag_t>(IGNCR);   // CR is not dropped
        raw.c_cc[VMIN] = 1;   // a read returns as soon as one byte is there
        raw.c_cc[VTIME] = 0;  // with no timer: poll() does the timing
        raw_mode_on = 1;
        // TCSANOW keeps whatever was typed ahead.
        if (tcsetattr(keyboard, TCSANOW, &raw) != 0) {
            raw_mode_on = 0;
            release_ending_signals();
            return;
        }
        active_ = true;
    }
    ~raw_mode() { restore(); }
    raw_mode(const raw_mode&) = delete;
    raw_mode& operator=(const raw_mode&) = delete;

    bool active() const { return active_; }

    // Puts the saved mode back once; true when it is in force again.
    bool restore() {
        if (!active_) return true;
        active_ = false;
        const bool restored = put_back_saved_mode();
        raw_mode_on = 0;
        release_ending_signals();
        return restored;
    }

  private:
    void catch_ending_signals() {
        struct sigaction action {};
        action.sa_handler = end_by_signal;
        action.sa_flags = static_cast<int>(SA_RESETHAND | SA_NODEFER);
        sigemptyset(&action.sa_mask);
        for (std::size_t at = 0; at < ending_signals.size(); ++at) {
            sigaction(ending_signals[at], nullptr, &previous_[at]);
            // A signal the user chose to ignore (nohup, a background job) stays ignored.
            if (previous_[at].sa_handler != SIG_IGN)
                sigaction(ending_signals[at], &action, nullptr);
        }
    }
    void release_ending_signals() {
        for (std::size_t at = 0; at < ending_signals.size(); ++at) {
            sigaction(ending_signals[at], &previous_[at], nullptr);
        }
    }

    std::array<struct sigaction, ending_signals.size()> previous_{};
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

int code_of(const decoded_key& decoded, std::span<const unsigned char> bytes) {
    if (decoded.what == decoded_key::kind::key) return key_code(decoded.vk, decoded.modifiers, 0);
    if (decoded.what != decoded_key::kind::character) return -1;
    const auto typed = bytes.subspan(decoded.first, decoded.used - decoded.first);
    if (typed.size() == 1 && typed[0] < 0x80) return typed[0];
    const std::string cp1251 =
        to_cp1251()(std::string_view(reinterpret_cast<const char*>(typed.data()), typed.size()));
    return cp1251.size() == 1 ? static_cast<unsigned char>(cp1251[0]) : '?';
}

// Reads byte by byte until the bytes make a key with a code, so that nothing after it is taken.
int read_key_press() {
    const bool utf8 = codeset == "UTF-8";
    std::array<unsigned char, 64> pending{};
    std::size_t size = 0;
    for (;;) {
        if (size == 0 && next_byte(-1, pending[size++]) != arrival::byte) return -1;
        const std::span<const unsigned char> bytes(pending.data(), size);
        decoded_key decoded = decode_key(bytes, true, utf8);
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
            decoded = decode_key(bytes, false, utf8);
        }
        const int code = code_of(decoded, bytes);
        if (code >= 0) return code;
        // Not a key we have a code for: drop its bytes and go on waiting.
        const std::size_t used = std::max<std::size_t>(decoded.used, 1);
        std::memmove(pending.data(), pending.data() + used, size - used);
        size -= used;
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
    keyboard = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

std::string terminal_text(std::string_view cp1251_text) {
    static charset_converter converter(codeset.c_str(), "CP1251");
    static charset_converter utf8_fallback("UTF-8", "CP1251");
    return converter.valid() ? converter(cp1251_text) : utf8_fallback(cp1251_text);
}

int read_key_code() {
    raw_mode raw;
    if (!raw.active()) return -1;
    const int code = read_key_press();
    if (!raw.restore()) return -1;
    if (code >= 0) {
        // The shell's prompt starts on a line of its own, not after the closing text.
        [[maybe_unused]] const ssize_t ignored = write(keyboard, "\n", 1);
    }
    return code;
}

}  // namespace console::platform
