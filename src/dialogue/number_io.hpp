// Reading and writing the dialogue's numbers on the standard streams, with the decimal point "."
// whatever the user's locale.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

namespace dialogue {

// Reads [+-]digits[.digits][(e|E)[+-]digits], at least one mantissa digit, after skipping white
// space. The first character that does not fit stays in the stream. Magnitudes of 2^128 and more
// read as infinity, those between the largest single and 2^128 as the largest single, non-zero ones
// below 2^-149 as 0. A failed read sets failbit and leaves `value` unchanged; a stream that is not
// good fails at once.
std::istream& read_number(std::istream& in, float& value);

// Reads [+-]digits as an unsigned 32-bit value: above 4294967295, or a minus sign before a non-zero
// value, fails the read ("-0" is 0). Failure and white space as for single-precision values.
std::istream& read_number(std::istream& in, std::uint32_t& value);

// Writes the value widened to double in general notation with 6 significant digits ("7.18151e-09");
// infinities as "+INF" and "-INF", not-a-number as "+NAN" or "-NAN".
std::ostream& write_number(std::ostream& out, float value);

// The text write_number writes, for any double: the page's table writes F, F' and the step with it.
std::string number_text(double value);

// The texts of several numbers, separated by blanks.
template <class... Numbers>
std::string number_texts(Numbers... values) {
    std::string line;
    const auto add = [&line](double value) {
        if (!line.empty()) line += ' ';
        line += number_text(value);
    };
    (add(values), ...);
    return line;
}

}  // namespace dialogue
