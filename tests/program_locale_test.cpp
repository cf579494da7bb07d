// The built program in different locales: only the character set is taken from the locale, the C
// locale gets UTF-8 and an eight-bit locale its own character set.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/locales.hpp"
#include "support/process.hpp"
#include "support/target.hpp"
#include "support/utf8.hpp"

namespace {

using testing_support::launch;
using testing_support::program_run;
using testing_support::run_program;

using testing_support::utf8;

// The run's output from "Корень = " on.
std::string result_lines(const std::vector<std::string>& environment, const char* input) {
    launch how;
    how.input = input;
    how.environment = environment;
    const program_run run = run_program(how);
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << "status " << run.status;
    const std::size_t start = run.out.find(utf8(u8"Корень = "));
    return start == std::string::npos ? run.out : run.out.substr(start);
}

TEST(Program, TheCLocaleWritesUtf8) {
    EXPECT_EQ(result_lines({"LC_ALL=C"}, "0 0.001 100"),
              utf8(u8"Корень = 0.299733 F(0.299733)=7.18151e-09\nЧисло итераций = 3\n"
                   u8"Нажмите любую клавишу"));
    // Numbers keep their "." whatever the numeric locale.
    EXPECT_EQ(result_lines({"LC_ALL=C.UTF-8", "LC_NUMERIC=ru_RU.UTF-8"}, "2 0.5 10"),
              utf8(u8"Корень = 2.6112 F(2.6112)=0.010562\nЧисло итераций = 1\n"
                   u8"Нажмите любую клавишу"));
}

TEST(Program, AnEightBitLocaleGetsItsOwnCharacterSet) {
    const std::string locales = testing_support::built_locale("ru_RU", "KOI8-R");
    ASSERT_FALSE(locales.empty()) << "localedef (package locales) is needed";

    launch how;
    how.input = "0 0.001 3";
    how.environment = {"LOCPATH=" + locales, "LC_ALL=ru_RU.KOI8-R"};
    const program_run run = run_program(how);
    const std::string koi8_prompts =
        "\xf0\xd2\xcf\xc7\xd2\xc1\xcd\xcd\xc1 \xc4\xc5\xcd\xcf\xce\xd3\xd4\xd2\xc9\xd2\xd5\xc5\xd4";
    EXPECT_EQ(run.out.substr(0, koi8_prompts.size()), koi8_prompts);  // "Программа демонстрирует"
    EXPECT_EQ(run.out.substr(run.out.size() - 8), " \xcb\xcc\xc1\xd7\xc9\xdb\xd5");  // " клавишу"
    std::filesystem::remove_all(locales);
}

TEST(Program, ACharacterSetWithNoConverterGetsUtf8OrTheStoredBytes) {
    // As where the system's conversion modules are missing: a Windows-1251 locale gets the texts as
    // they are stored, any other UTF-8 rather than nothing.
    struct no_converter {
        const char* name;
        const char* charmap;
        const char* renamed;               // a name iconv does not know
        std::vector<std::string> preload;  // or no converter at all
        std::string result;
    };
    const no_converter cases[] = {
        {"KOI8-R under a name iconv does not know",
         "KOI8-R",
         "NEWTON-TEST",
         {},
         utf8(u8"Корень = 0.299733 F(0.299733)=7.18151e-09\nЧисло итераций = 3\n"
              u8"Нажмите любую клавишу")},
        {"Windows-1251 with iconv opening nothing",
         "CP1251",
         "",
         {"LD_PRELOAD=" NO_ICONV},
         "\xca\xee\xf0\xe5\xed\xfc = 0.299733 F(0.299733)=7.18151e-09\n\xd7\xe8\xf1\xeb\xee "
         "\xe8\xf2\xe5\xf0\xe0\xf6\xe8\xe9 = 3\n\xcd\xe0\xe6\xec\xe8\xf2\xe5 "
         "\xeb\xfe\xe1\xf3\xfe \xea\xeb\xe0\xe2\xe8\xf8\xf3"},
    };
    for (const no_converter& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.preload.empty() && !testing_support::preload_reaches_program(c.name)) continue;
        const std::string locales = testing_support::built_locale("ru_RU", c.charmap, c.renamed);
        ASSERT_FALSE(locales.empty()) << "localedef (package locales) is needed";
        const std::string codeset = *c.renamed != '\0' ? c.renamed : c.charmap;
        std::vector<std::string> environment = {"LOCPATH=" + locales, "LC_ALL=ru_RU." + codeset};
        environment.insert(environment.end(), c.preload.begin(), c.preload.end());
        const std::string out = result_lines(environment, "0 0.001 100");
        EXPECT_EQ(out.substr(out.size() - std::min(out.size(), c.result.size())), c.result);
        std::filesystem::remove_all(locales);
    }
}

}  // namespace
