#include "console/key_decoder.hpp"

#include <algorithm>
#include <array>
#include <optional>

#include "console/cp1251.hpp"
#include "console/key_table.hpp"

namespace console {
namespace {

using kind = decoded_key::kind;
using bytes_view = std::span<const unsigned char>;

constexpr unsigned char esc = 0x1B;
constexpr unsigned char del = 0x7F;
constexpr std::size_t parameter_limit = 4;
constexpr unsigned parameter_ceiling = 0x110000;  // parameters saturate here, beyond Unicode

struct final_byte_key {
    unsigned char final;
    std::uint8_t vk;
    unsigned modifiers;
};

struct numbered_key {
    unsigned number;
    std::uint8_t vk;
    unsigned modifiers;
};

// clang-format off
// CSI <final>, with xterm's optional "1;<modifier>" parameters; a–d and Z are rxvt's and xterm's
// shifted forms.
constexpr std::array<final_byte_key, 15> csi_final_keys = {{
    {'A', vk::up, 0},        {'B', vk::down, 0},   {'C', vk::right, 0},  {'D', vk::left, 0},
    {'H', vk::home, 0},      {'F', vk::end, 0},
    {'P', vk::f1, 0},        {'Q', vk::f1 + 1, 0}, {'R', vk::f1 + 2, 0}, {'S', vk::f1 + 3, 0},
    {'Z', vk::tab, shift},
    {'a', vk::up, shift},    {'b', vk::down, shift}, {'c', vk::right, shift}, {'d', vk::left, shift},
}};

// SS3 <final>: cursor keys and F1–F4 in application mode, rxvt's Ctrl+arrows, the keypad in
// application mode.
constexpr std::array<final_byte_key, 30> ss3_final_keys = {{
    {'A', vk::up, 0},        {'B', vk::down, 0},   {'C', vk::right, 0},  {'D', vk::left, 0},
    {'H', vk::home, 0},      {'F', vk::end, 0},
    {'P', vk::f1, 0},        {'Q', vk::f1 + 1, 0}, {'R', vk::f1 + 2, 0}, {'S', vk::f1 + 3, 0},
    {'a', vk::up, ctrl},     {'b', vk::down, ctrl}, {'c', vk::right, ctrl}, {'d', vk::left, ctrl},
    {'M', vk::enter, 0},
    {'j', vk::multiply, 0},  {'k', vk::add, 0},    {'m', vk::subtract, 0},
    {'n', vk::decimal, 0},   {'o', vk::divide, 0},
    {'p', vk::numpad0, 0},     {'q', vk::numpad0 + 1, 0}, {'r', vk::numpad0 + 2, 0},
    {'s', vk::numpad0 + 3, 0}, {'t', vk::numpad0 + 4, 0}, {'u', vk::numpad0 + 5, 0},
    {'v', vk::numpad0 + 6, 0}, {'w', vk::numpad0 + 7, 0}, {'x', vk::numpad0 + 8, 0},
    {'y', vk::numpad0 + 9, 0},
}};

// CSI <n> ~ (and rxvt's $ ^ @ endings). 1 and 4 are Home and End of tmux, screen and the Linux
// console, 7 and 8 rxvt's; the numbers from 25 up are rxvt's Shift+F3 … Shift+F10.
constexpr std::array<numbered_key, 28> csi_numbered_keys = {{
    {1, vk::home, 0},       {2, vk::insert, 0},     {3, vk::del, 0},        {4, vk::end, 0},
    {5, vk::page_up, 0},    {6, vk::page_down, 0},  {7, vk::home, 0},       {8, vk::end, 0},
    {11, vk::f1, 0},        {12, vk::f1 + 1, 0},    {13, vk::f1 + 2, 0},    {14, vk::f1 + 3, 0},
    {15, vk::f1 + 4, 0},    {17, vk::f1 + 5, 0},    {18, vk::f1 + 6, 0},    {19, vk::f1 + 7, 0},
    {20, vk::f1 + 8, 0},    {21, vk::f1 + 9, 0},    {23, vk::f1 + 10, 0},   {24, vk::f1 + 11, 0},
    {25, vk::f1 + 2, shift}, {26, vk::f1 + 3, shift}, {28, vk::f1 + 4, shift}, {29, vk::f1 + 5, shift},
    {31, vk::f1 + 6, shift}, {32, vk::f1 + 7, shift}, {33, vk::f1 + 8, shift}, {34, vk::f1 + 9, shift},
}};

// The Linux console's F1–F5: ESC [ [ A … E.
constexpr std::array<final_byte_key, 5> linux_function_keys = {{
    {'A', vk::f1, 0}, {'B', vk::f1 + 1, 0}, {'C', vk::f1 + 2, 0}, {'D', vk::f1 + 3, 0},
    {'E', vk::f1 + 4, 0},
}};
// clang-format on

constexpr decoded_key need_more() {
    return {};
}
constexpr decoded_key ignored(std::size_t used) {
    return {kind::ignored, used, 0, 0, 0, 0};
}
constexpr decoded_key key(std::size_t used, std::uint8_t vk, unsigned modifiers) {
    return {kind::key, used, vk, modifiers, 0, 0};
}
constexpr decoded_key character(std::size_t used) {
    return {kind::character, used, 0, 0, 0, 0};
}
constexpr decoded_key code_point(std::size_t used, char32_t code) {
    return {kind::code_point, used, 0, 0, 0, code};
}

template <typename Table, typename Match>
const typename Table::value_type* find_in(const Table& table, Match match) {
    const auto* row = std::find_if(table.begin(), table.end(), match);
    return row == table.end() ? nullptr : row;
}

// xterm's modifier parameter is 1 + (Shift 1 | Alt 2 | Ctrl 4 | Meta 8); Meta counts as Alt.
constexpr unsigned modifiers_of(unsigned parameter) {
    if (parameter < 2) return 0;
    const unsigned bits = parameter - 1;
    return (bits & (shift | alt | ctrl)) | ((bits & 8U) != 0 ? alt : 0U);
}

bool is_final(unsigned char byte) {
    return byte >= 0x40 && byte <= 0x7E;
}
bool is_parameter(unsigned char byte) {
    return byte >= 0x30 && byte <= 0x3F;
}
bool is_intermediate(unsigned char byte) {
    return byte >= 0x20 && byte <= 0x2F;
}

struct parameters {
    std::array<unsigned, parameter_limit> values{};
    std::size_t count = 0;
    bool plain = true;  // only digits and ';', within the limit: a form we interpret
};

// Reads parameter bytes from `at`; returns where they end.
std::size_t read_parameters(bytes_view bytes, std::size_t at, parameters& read) {
    if (at < bytes.size() && is_parameter(bytes[at])) read.count = 1;
    for (; at < bytes.size() && is_parameter(bytes[at]); ++at) {
        const unsigned char byte = bytes[at];
        if (byte == ';') {
            if (read.count == parameter_limit)
                read.plain = false;
            else
                ++read.count;
        } else if (byte >= '0' && byte <= '9') {
            unsigned& value = read.values[read.count - 1];
            value = std::min(value * 10 + (byte - '0'), parameter_ceiling);
        } else {
            read.plain = false;  // private markers and sub-parameters: reports, not keys
        }
    }
    return at;
}

// rxvt marks Shift, Ctrl and both by ending CSI n with $, ^ or @ instead of ~.
constexpr unsigned rxvt_ending_modifiers(unsigned char final) {
    if (final == '$') return shift;
    if (final == '^') return ctrl;
    if (final == '@') return ctrl | shift;
    return 0;
}

// A character with modifiers, as xterm's modifyOtherKeys (CSI 27 ; m ; c ~) and the CSI c ; m u
// form report it: through the key table when an ASCII key types it and a modifier is held (or it
// is a control character, such as Escape's 27), else the character itself, as a plain press.
decoded_key reported_character(unsigned character, unsigned modifier, std::size_t used) {
    if (character > 0x10FFFF) return ignored(used);
    // The keyboard protocol's private codes for Caps Lock, Scroll Lock and Num Lock, and for Shift,
    // Ctrl, Alt, Super, Hyper, Meta and the level shifts pressed alone: no key press of ours.
    constexpr unsigned first_lock = 57358, last_lock = 57360;
    constexpr unsigned first_modifier = 57441, last_modifier = 57454;
    if ((character >= first_lock && character <= last_lock) ||
        (character >= first_modifier && character <= last_modifier)) {
        return ignored(used);
    }
    const unsigned modifiers = modifiers_of(modifier);
    if (character < 0x80) {
        const std::optional<std::uint8_t> typed =
            key_for_character(static_cast<unsigned char>(character));
        if (typed && (modifiers != 0 || character < 0x20 || character == del)) {
            return key(used, *typed, modifiers);
        }
    }
    return code_point(used, static_cast<char32_t>(character));
}

decoded_key csi_key(const parameters& read, unsigned char final, std::size_t used) {
    if (!read.plain) return ignored(used);
    const unsigned first = read.count > 0 ? read.values[0] : 0;
    const unsigned second = read.count > 1 ? read.values[1] : 0;
    constexpr unsigned paste_start = 200, paste_end = 201;
    if (final == '~' && read.count == 1 && (first == paste_start || first == paste_end)) {
        return {first == paste_start ? kind::paste_start : kind::paste_end, used, 0, 0, 0, 0};
    }
    if (final == 'u' && read.count > 0 && read.count <= 2) {
        return reported_character(first, second, used);
    }
    if (final == '~' && read.count == 3 && first == 27) {
        return reported_character(read.values[2], second, used);
    }
    const unsigned ending_modifiers = rxvt_ending_modifiers(final);
    if (final == '~' || (ending_modifiers != 0 && read.count > 0)) {
        const auto* row = find_in(csi_numbered_keys,
                                  [first](const numbered_key& k) { return k.number == first; });
        if (row == nullptr) return ignored(used);
        return key(used, row->vk, row->modifiers | ending_modifiers | modifiers_of(second));
    }
    const auto* row =
        find_in(csi_final_keys, [final](const final_byte_key& k) { return k.final == final; });
    if (row == nullptr || read.count > 2 || (read.count == 2 && first != 1)) return ignored(used);
    return key(used, row->vk, row->modifiers | modifiers_of(second));
}

// ESC [ … : `bytes` starts with ESC [.
decoded_key decode_csi(bytes_view bytes, bool more_may_come) {
    const std::size_t start = 2;
    if (bytes.size() > start && bytes[start] == '[') {  // the Linux console's ESC [ [ A … E
        if (bytes.size() == start + 1) return more_may_come ? need_more() : ignored(bytes.size());
        const unsigned char final = bytes[start + 1];
        const auto* row = find_in(linux_function_keys,
                                  [final](const final_byte_key& k) { return k.final == final; });
        return row != nullptr ? key(start + 2, row->vk, 0) : ignored(start + 2);
    }
    parameters read;
    std::size_t at = read_parameters(bytes, start, read);
    const bool only_digits = read.plain && read.count == 1;
    // rxvt ends a shifted key with '$', which is otherwise an intermediate byte.
    if (at < bytes.size() && bytes[at] == '$' && only_digits) return csi_key(read, '$', at + 1);
    while (at < bytes.size() && is_intermediate(bytes[at])) {
        read.plain = false;
        ++at;
    }
    if (at >= longest_key_sequence) return ignored(at);
    if (at == bytes.size()) {
        if (more_may_come) return need_more();
        // ESC [ and nothing after it is Alt+[; any longer fragment is dropped.
        return at == start ? key(start, vk::oem_4, alt) : ignored(at);
    }
    if (!is_final(bytes[at])) return ignored(at);  // broken off by a byte that cannot be in it
    return csi_key(read, bytes[at], at + 1);
}

// ESC O … : `bytes` starts with ESC O. Some terminals put a modifier digit before the final byte.
decoded_key decode_ss3(bytes_view bytes, bool more_may_come) {
    const std::size_t start = 2;
    parameters read;
    const std::size_t at = read_parameters(bytes, start, read);
    if (at == bytes.size()) {
        if (more_may_come && at < longest_key_sequence) return need_more();
        return at == start ? key(start, 'O', alt) : ignored(at);
    }
    if (!is_final(bytes[at])) return ignored(at);
    const unsigned char final = bytes[at];
    const auto* row =
        find_in(ss3_final_keys, [final](const final_byte_key& k) { return k.final == final; });
    if (row == nullptr || !read.plain || read.count > 1) return ignored(at + 1);
    const unsigned modifier = read.count == 1 ? read.values[0] : 0;
    return key(at + 1, row->vk, row->modifiers | modifiers_of(modifier));
}

// Length of the UTF-8 character that `lead` starts; 1 for a byte that cannot start one (the
// conversion turns it into '?').
std::size_t utf8_length(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 1;
}

// One byte or one character that does not start with ESC.
decoded_key decode_plain(bytes_view bytes, bool more_may_come, character_length length) {
    const unsigned char lead = bytes[0];
    if (lead == 0) return key(1, '2', ctrl);  // Ctrl+Space and Ctrl+2 both send NUL
    if (lead == del) return key(1, vk::backspace, 0);
    if (lead < 0x80) return character(1);
    const std::size_t whole = length(bytes);
    if (whole == 0) return more_may_come ? need_more() : character(bytes.size());
    return character(std::min(whole, bytes.size()));
}

// Alt with the key that follows ESC: a sequence, another ESC, or a character.
decoded_key with_alt(decoded_key inner) {
    if (inner.what == kind::need_more) return inner;
    ++inner.used;
    if (inner.what == kind::key) {
        inner.modifiers |= alt;
    } else if (inner.what == kind::character) {
        inner.first = 1;
    }
    return inner;
}

decoded_key decode(bytes_view bytes, bool more_may_come, character_length length,
                   bool alt_prefix_allowed) {
    if (bytes.empty()) return need_more();
    if (bytes[0] != esc) return decode_plain(bytes, more_may_come, length);
    if (bytes.size() == 1) return more_may_come ? need_more() : key(1, vk::escape, 0);
    if (bytes[1] == '[') return decode_csi(bytes, more_may_come);
    if (bytes[1] == 'O') return decode_ss3(bytes, more_may_come);
    if (!alt_prefix_allowed) return key(1, vk::escape, 0);
    decoded_key inner = with_alt(decode(bytes.subspan(1), more_may_come, length, false));
    // Alt with an ASCII character is Alt with the key that types it.
    if (inner.what == kind::character && inner.used == 2 && bytes[1] < 0x80) {
        if (const std::optional<std::uint8_t> typed = key_for_character(bytes[1])) {
            return key(2, *typed, alt);
        }
    }
    return inner;
}

}  // namespace

std::size_t utf8_character_length(std::span<const unsigned char> bytes) {
    const std::size_t length = utf8_length(bytes[0]);
    for (std::size_t at = 1; at < length; ++at) {
        if (at == bytes.size()) return 0;
        if ((bytes[at] & 0xC0) != 0x80) return at;  // cut short: malformed
    }
    return length;
}

decoded_key decode_key(std::span<const unsigned char> bytes, bool more_may_come,
                       character_length length) {
    return decode(bytes, more_may_come, length, true);
}

int utf8_character_code(std::string_view typed) {
    const auto lead = static_cast<unsigned char>(typed[0]);
    if (typed.size() == 1) return lead < 0x80 ? lead : '?';  // a stray byte
    char32_t c = lead & (0x7FU >> typed.size());
    for (const char byte : typed.substr(1))
        c = (c << 6) | (static_cast<unsigned char>(byte) & 0x3FU);
    const int code = cp1251_of_code_point(c);
    return code >= 0 ? code : '?';
}

int key_press_code(const decoded_key& decoded, std::span<const unsigned char> bytes,
                   character_code code) {
    switch (decoded.what) {
        case kind::key:
            return key_code(decoded.vk, decoded.modifiers, 0);
        case kind::character: {
            const auto typed = bytes.subspan(decoded.first, decoded.used - decoded.first);
            return code(
                std::string_view(reinterpret_cast<const char*>(typed.data()), typed.size()));
        }
        case kind::code_point: {
            const int byte = cp1251_of_code_point(decoded.code_point);
            return byte >= 0 ? byte : '?';
        }
        default:
            return -1;
    }
}

}  // namespace console
