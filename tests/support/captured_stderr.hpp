// Collects what is written to the standard error device (file descriptor 2) while it lives.
#pragma once

#include <string>

namespace testing_support {

class captured_stderr {
  public:
    captured_stderr();
    ~captured_stderr();
    captured_stderr(const captured_stderr&) = delete;
    captured_stderr& operator=(const captured_stderr&) = delete;

    // Everything written so far.
    std::string text() const;

  private:
    int saved_;
    int file_;
};

}  // namespace testing_support
