#include "support/captured_stderr.hpp"

#include <sys/mman.h>
#include <unistd.h>

#include <array>

namespace testing_support {

captured_stderr::captured_stderr()
    : saved_(dup(STDERR_FILENO)), file_(memfd_create("stderr", MFD_CLOEXEC)) {
    dup2(file_, STDERR_FILENO);
}

captured_stderr::~captured_stderr() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    close(file_);
}

std::string captured_stderr::text() const {
    std::string text;
    std::array<char, 4096> chunk{};
    off_t offset = 0;
    for (ssize_t got; (got = pread(file_, chunk.data(), chunk.size(), offset)) > 0; offset += got) {
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return text;
}

}  // namespace testing_support
