#include <sys/mman.h>
#include <unistd.h>

#include <array>

#include "support/memory_file.hpp"

namespace testing_support {

int make_memory_file(const char* name) {
    return memfd_create(name, MFD_CLOEXEC);
}

std::string contents_of(int fd) {
    std::string text;
    std::array<char, 4096> chunk{};
    off_t offset = 0;
    for (ssize_t got; (got = pread(fd, chunk.data(), chunk.size(), offset)) > 0; offset += got) {
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return text;
}

}  // namespace testing_support
