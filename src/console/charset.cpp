#include "console/charset.hpp"

#include <array>
#include <cerrno>

namespace console {

charset_converter::charset_converter(const char* to, const char* from)
    : handle_(iconv_open(to, from)) {}

charset_converter::~charset_converter() {
    if (valid()) iconv_close(handle_);
}

std::string charset_converter::operator()(std::string_view text) {
    std::string converted;
    if (!valid()) return converted;
    iconv(handle_, nullptr, nullptr, nullptr, nullptr);  // a fresh shift state for every text

    // iconv's interface takes a non-const source pointer but never writes through it.
    char* in = const_cast<char*>(text.data());
    std::size_t in_left = text.size();
    std::array<char, 256> chunk{};
    const auto convert_into_chunk = [&](char** source, std::size_t* source_left) {
        char* out = chunk.data();
        std::size_t out_left = chunk.size();
        const std::size_t result = iconv(handle_, source, source_left, &out, &out_left);
        const int error = errno;
        converted.append(chunk.data(), static_cast<std::size_t>(out - chunk.data()));
        return result == static_cast<std::size_t>(-1) ? error : 0;
    };
    while (in_left > 0) {
        const int error = convert_into_chunk(&in, &in_left);
        if (error == 0 || error == E2BIG) continue;
        // EILSEQ (no such character, or malformed input) or EINVAL (the input ends inside a
        // character): one byte becomes '?' and the conversion goes on after it.
        converted += '?';
        ++in;
        --in_left;
    }
    convert_into_chunk(nullptr, nullptr);  // any closing shift sequence
    return converted;
}

}  // namespace console
