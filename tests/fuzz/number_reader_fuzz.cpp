// Arbitrary bytes as typed input: the reads of the dialogue (two singles, then the limit) repeated
// until one fails. A read takes only characters of the number's grammar, a failed read changes
// nothing, every read after it fails at once, no single read is NaN, and a written value reads back
// to a value that is written the same.

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <string_view>

#include "dialogue/number_io.hpp"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

std::string written(float value) {
    std::ostringstream text;
    dialogue::write_number(text, value);
    return text.str();
}

// The characters a successful read took, after the white space it skipped; it began at `from`.
std::string_view taken(std::istream& in, std::string_view input, std::streamoff from) {
    const auto to = in.eof() ? static_cast<std::streamoff>(input.size())
                             : static_cast<std::streamoff>(in.tellg());
    std::string_view rest =
        input.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from));
    while (!rest.empty() && std::string_view(" \t\n\v\f\r").find(rest.front()) != rest.npos) {
        rest.remove_prefix(1);
    }
    return rest;
}

void check_single(std::istream& in, std::string_view input) {
    const std::streamoff from = in.tellg();
    float value = 1234.5F;
    if (!dialogue::read_number(in, value)) {
        require(std::bit_cast<std::uint32_t>(value) == std::bit_cast<std::uint32_t>(1234.5F));
        return;
    }
    require(!std::isnan(value));
    const std::string_view text = taken(in, input, from);
    require(!text.empty() && text.find_first_not_of("0123456789+-.eE") == text.npos);
    if (std::isfinite(value)) {
        std::istringstream again(written(value));
        float back = 0.0F;
        require(static_cast<bool>(dialogue::read_number(again, back)));
        require(written(back) == written(value));
    }
}

void check_limit(std::istream& in, std::string_view input) {
    const std::streamoff from = in.tellg();
    std::uint32_t value = 77;
    if (!dialogue::read_number(in, value)) {
        require(value == 77);
        return;
    }
    const std::string_view text = taken(in, input, from);
    require(!text.empty() && text.find_first_not_of("0123456789+-") == text.npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::istringstream in{std::string(input)};
    for (int read = 0; in.good(); ++read) {
        if (read % 3 == 2) {
            check_limit(in, input);
        } else {
            check_single(in, input);
        }
    }
    // A stream that is not good fails every read at once and changes nothing.
    float single = 5.0F;
    std::uint32_t limit = 5;
    require(!dialogue::read_number(in, single) && single == 5.0F);
    require(!dialogue::read_number(in, limit) && limit == 5);
    return 0;
}
