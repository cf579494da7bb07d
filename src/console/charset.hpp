// Conversion between character sets by name, through iconv.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace console {

class charset_converter {
  public:
    // A converter that cannot be opened (an unknown name) is not valid() and converts nothing.
    charset_converter(const char* to, const char* from);
    ~charset_converter();
    charset_converter(const charset_converter&) = delete;
    charset_converter& operator=(const charset_converter&) = delete;

    bool valid() const { return handle_ != invalid_handle(); }

    // Converts the whole text, whatever its length. Each byte that cannot be converted (a character
    // with no form in the target set, or a malformed sequence of the source) becomes '?'.
    std::string operator()(std::string_view text);

  private:
    static iconv_t invalid_handle() { return reinterpret_cast<iconv_t>(-1); }
    iconv_t handle_;
};

}  // namespace console
