// Expected texts are written as UTF-8 literals; their bytes as a std::string.
#pragma once

#include <string>
#include <string_view>

namespace testing_support {

inline std::string utf8(std::u8string_view text) {
    return {text.begin(), text.end()};
}

}  // namespace testing_support
