// Test-only, preloaded into the program (LD_PRELOAD): iconv opens no converter, as where the
// system's conversion modules are missing.

#include <iconv.h>

#include <cerrno>

extern "C" iconv_t iconv_open(const char*, const char*) {
    errno = EINVAL;
    return reinterpret_cast<iconv_t>(-1);
}
