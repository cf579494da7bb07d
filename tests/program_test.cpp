// The built program end to end: piped standard input, no controlling terminal (so the key wait
// returns at once), standard output and standard error compared byte for byte with what the
// program writes on its platform.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <string>

#include "support/process.hpp"
#include "support/target.hpp"
#include "support/utf8.hpp"

namespace {

using testing_support::as_written;
using testing_support::launch;
using testing_support::program_run;
using testing_support::run_program;

using testing_support::utf8;

const std::string greeting =
    utf8(u8"Программа демонстрирует решение нелинейного уравнения методом Ньютона");
const std::string prompts = greeting + "\n" + utf8(u8"Введите начальное приближение X0: ") +
                            utf8(u8"Введите точность расчета: ") +
                            utf8(u8"Введите максимальное число итераций:");
const std::string not_found = utf8(u8"Решение не найдено") + "\n";
const std::string closing = utf8(u8"Нажмите любую клавишу");
const std::string report = "\nexp: OVERFLOW error\n";

std::string root_lines(const std::string& root, const std::string& f, const std::string& count) {
    return utf8(u8"Корень = ") + root + " F(" + root + ")=" + f + "\n" +
           utf8(u8"Число итераций = ") + count + "\n";
}

struct dialogue_case {
    const char* input;
    std::string output;  // after the prompts
    std::string errors;
};

void expect_dialogue(const dialogue_case& c) {
    SCOPED_TRACE(testing::Message() << "input \"" << c.input << '"');
    launch how;
    how.input = c.input;
    const program_run run = run_program(how);
    ASSERT_TRUE(WIFEXITED(run.status)) << "status " << run.status;
    EXPECT_EQ(WEXITSTATUS(run.status), 0);
    EXPECT_EQ(run.out, as_written(prompts + c.output + closing));
    EXPECT_EQ(run.err, as_written(c.errors));
}

TEST(Program, ExampleRunsGiveTheirLines) {
    const dialogue_case cases[] = {
        {"0\n0.001\n100\n", root_lines("0.299733", "7.18151e-09", "3"), ""},
        {"0 0.001 4", root_lines("0.299733", "7.18151e-09", "3"), ""},
        {"0 0.001 3", not_found, ""},
        {"0 0.001 0", not_found, ""},
        {"3\n0.0001\n100\n", root_lines("2.59939", "9.95655e-08", "3"), ""},
        {"1 0.000001 50", root_lines("0.299733", "7.18151e-09", "6"), ""},
        {"2 0.5 10", root_lines("2.6112", "0.010562", "1"), ""},
        {"1000 0.001 100", root_lines("2.59939", "9.95655e-08", "11"), ""},
        {"1.33 0.001 100", root_lines("2.59939", "9.95655e-08", "10"), ""},
        {"-50 0.001 100", root_lines("0.299733", "1.28966e-07", "53"), ""},
        {"0 0 100", not_found, ""},
        {"0 -1 100", not_found, ""},
        {"0 1e30 100", root_lines("0.25", "0.0701016", "0"), ""},
        {"1.3267 1e30 100", root_lines("-26857.8", "+INF", "0"), report},
    };
    for (const dialogue_case& c : cases) expect_dialogue(c);
}

TEST(Program, TheOverflowReportComesBetweenTheRootAndItsValue) {
    launch how;
    how.input = "1.3267 1e30 100";
    how.errors_into_output = true;
    const program_run run = run_program(how);
    EXPECT_EQ(run.out,
              as_written(prompts + utf8(u8"Корень = ") + "-26857.8" + report +
                         " F(-26857.8)=+INF\n" + utf8(u8"Число итераций = ") + "0\n" + closing));
}

TEST(Program, StartsOutsideTheFiniteRangeEndInNoSolution) {
    const dialogue_case cases[] = {
        {"-710 0.001 100", not_found, report + report},
        {"-1e39 0.001 100", not_found, report + report},  // read as -infinity
        {"1e39 0.001 100", not_found, ""},
        {"-100 0.001 100", not_found, ""},
        {"5e19 0.001 100", not_found, ""},
        {"1.32 0.001 100", not_found, ""},
    };
    for (const dialogue_case& c : cases) expect_dialogue(c);
}

TEST(Program, FailedReadsGiveADefiniteRun) {
    const dialogue_case cases[] = {
        {"", not_found, ""},
        {"abc", not_found, ""},
        {"0 0.001 -5", not_found, ""},
        {"0 0.001 4294967296", not_found, ""},
        {"0 0.001", not_found, ""},
        {"1.5abc 0.001 100", not_found, ""},  // the accuracy read fails, and n's
        {"1e+.5 100", not_found, ""},         // X0's read fails, and with it every later one
        {"0 1e30 1e5", root_lines("0.25", "0.0701016", "0"), ""},  // n stops at the 'e'
        {"\n\n  0\n\n0.001\t100", root_lines("0.299733", "7.18151e-09", "3"), ""},
    };
    for (const dialogue_case& c : cases) expect_dialogue(c);
}

TEST(Program, OutputThatCannotBeWrittenIsAFailure) {
    launch how;
    how.input = "0 0.001 100";
    how.output = testing_support::output_to::full_device;
    const program_run run = run_program(how);
    ASSERT_TRUE(WIFEXITED(run.status)) << "status " << run.status;
    EXPECT_EQ(WEXITSTATUS(run.status), 1);
    EXPECT_EQ(run.err,
              as_written(utf8(u8"Ошибка записи в стандартный вывод: нет места на устройстве\n")));
}

TEST(Program, AClosedPipeEndsItBySigpipe) {
    if (!testing_support::closed_pipe_signals()) {
        GTEST_SKIP() << "Wine's own exit after a broken pipe is unreliable: the Windows suite "
                        "tests the Windows program's closed pipe in-process";
    }
    launch how;
    how.input = "0 0.001 100";
    how.output = testing_support::output_to::closed_pipe;
    const program_run run = run_program(how);
    EXPECT_TRUE(WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGPIPE)
        << "status " << run.status;
}

}  // namespace
