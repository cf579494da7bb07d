// Following a terminal's bracketed-paste markers, ESC [ 200 ~ and ESC [ 201 ~, through a stream of
// bytes that comes in blocks of any size. Pure: it keeps only how much of a marker it has seen.
#pragma once

#include <cstddef>

namespace console {

class paste_markers {
  public:
    paste_markers() = default;
    explicit paste_markers(bool in_paste) : in_paste_(in_paste) {}

    bool in_paste() const { return in_paste_; }

    // The paste's end marker went elsewhere (to the shell, while the process was stopped).
    void forget_paste();

    // True when the byte ends a marker; in_paste() then tells which.
    bool push(unsigned char byte);

  private:
    bool in_paste_ = false;
    bool starts_ = false;
    std::size_t matched_ = 0;
};

}  // namespace console
