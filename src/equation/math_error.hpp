// Range errors of the mathematical functions pass through one routine: it fills a record, asks the
// hook in force whether the error is handled, and writes a report to the standard error device when
// it is not.
#pragma once

#include "equation/extended.hpp"

namespace equation {

enum class math_error_type {
    domain = 1,
    singularity,
    overflow,
    underflow,
    total_loss,
    partial_loss
};

struct math_error {
    math_error_type type;
    const char* function;  // the function's name, as written in the report
    double argument1;
    double argument2;
    extended result;  // what the failing function returns; a hook may change it
};

// Returns true when the hook has handled the error; the routine then writes nothing.
using math_error_hook = bool (*)(math_error& error);

// The hook in force from start-up: underflow is handled with a result of 0, total loss of
// significance is handled as it stands, everything else is reported.
bool default_math_error_hook(math_error& error);

// Replaces the hook in force (a null hook puts back the default) and returns the previous one.
math_error_hook set_math_error_hook(math_error_hook hook);

// Hands the record to the hook; when the hook leaves the error unhandled, writes
// "\n<function>: <TYPE> error\n" to the standard error device, unbuffered. Returns the record's
// result.
extended report_math_error(math_error error);

}  // namespace equation
