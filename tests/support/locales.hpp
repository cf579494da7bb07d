// Locales the machine does not have, built for a test with localedef (package locales).
#pragma once

#include <string>

namespace testing_support {

// Builds the locale `source`.`charmap` (for example ja_JP and EUC-JP) in a directory of the tests'
// own and returns that directory, for LOCPATH; empty when localedef fails. With `renamed`, the
// character set keeps its bytes under that name, which no converter knows, and the locale is
// `source`.`renamed`.
std::string built_locale(const std::string& source, const std::string& charmap,
                         const std::string& renamed = "");

}  // namespace testing_support
