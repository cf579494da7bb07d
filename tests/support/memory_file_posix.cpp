#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/memory_file.hpp"

namespace testing_support {

// Linux has files that live in memory alone; elsewhere an unlinked temporary file does the same.
int make_memory_file(const char* name) {
#ifdef __linux__
    return memfd_create(name, MFD_CLOEXEC);
#else
    std::string path = std::filesystem::temp_directory_path() / "newton-test-XXXXXX";
    static_cast<void>(name);
    const int fd = mkstemp(path.data());
    if (fd >= 0) {
        unlink(path.c_str());
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return fd;
#endif
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
