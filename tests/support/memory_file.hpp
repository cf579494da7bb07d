// Files in memory that collect what a process writes.
#pragma once

#include <string>

namespace testing_support {

// A new, empty file in memory, closed on exec; -1 when it cannot be made.
int make_memory_file(const char* name);

// Everything written to the file so far, whatever its current offset.
std::string contents_of(int fd);

}  // namespace testing_support
