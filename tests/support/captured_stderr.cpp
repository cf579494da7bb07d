#include "support/captured_stderr.hpp"

#include <unistd.h>

#include "support/memory_file.hpp"

namespace testing_support {

captured_stderr::captured_stderr() : saved_(dup(STDERR_FILENO)), file_(make_memory_file("stderr")) {
    dup2(file_, STDERR_FILENO);
}

captured_stderr::~captured_stderr() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    close(file_);
}

std::string captured_stderr::text() const {
    return contents_of(file_);
}

}  // namespace testing_support
