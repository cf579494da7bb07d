#include "console/paste_markers.hpp"

#include <string_view>

namespace console {

void paste_markers::forget_paste() {
    in_paste_ = false;
    matched_ = 0;
}

bool paste_markers::push(unsigned char byte) {
    constexpr std::string_view common = "\x1b[20";  // then '0' (start) or '1' (end), then '~'
    bool ended = false;
    if (matched_ < common.size()) {
        matched_ = byte == static_cast<unsigned char>(common[matched_]) ? matched_ + 1 : 0;
    } else if (matched_ == common.size() && (byte == '0' || byte == '1')) {
        starts_ = byte == '0';
        ++matched_;
    } else {
        if (matched_ > common.size() && byte == '~') {
            in_paste_ = starts_;
            ended = true;
        }
        matched_ = 0;
    }
    if (matched_ == 0 && byte == '\x1b') matched_ = 1;  // ESC begins a marker only at its start
    return ended;
}

}  // namespace console
