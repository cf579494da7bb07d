// Memory files on Windows: a temporary file that is deleted when it is closed.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <array>
#include <cstdint>
#include <cstdio>

#include "support/memory_file.hpp"

namespace testing_support {

int make_memory_file(const char* name) {
    std::array<char, MAX_PATH> folder{};
    std::array<char, MAX_PATH> path{};
    if (GetTempPathA(MAX_PATH, folder.data()) == 0 ||
        GetTempFileNameA(folder.data(), name, 0, path.data()) == 0) {
        return -1;
    }
    const HANDLE file =
        CreateFileA(path.data(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    return _open_osfhandle(reinterpret_cast<std::intptr_t>(file), _O_RDWR | _O_BINARY);
}

std::string contents_of(int fd) {
    const long at = _lseek(fd, 0, SEEK_CUR);
    _lseek(fd, 0, SEEK_SET);
    std::string text;
    std::array<char, 4096> chunk{};
    for (int got; (got = _read(fd, chunk.data(), static_cast<unsigned>(chunk.size()))) > 0;) {
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    _lseek(fd, at, SEEK_SET);
    return text;
}

}  // namespace testing_support
