// Exact conversions between decimal text and single precision (and from double, for writing), in
// integer arithmetic of their own: no floating-point operation and no library conversion, so they
// give the same result with any standard library and on any processor.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace dialogue {

// The single nearest to 0.digits × 10^exponent (ties to even), where `more_beyond` says that a
// non-zero digit follows `digits` (which has no leading zero). The magnitude must be at least
// 2^-149 and below 2^128; one that rounds up to 2^128 gives the largest single.
float nearest_single(std::string_view digits, std::int64_t exponent, bool more_beyond);

// A finite double (every single is one) in the general notation with six significant digits, as
// printf's "%g" writes it: the exact value rounded to nearest, ties to even; trailing zeros
// dropped; the exponent form (at least two exponent digits) below 10^-4 and from 10^6.
std::string general_six(double value);

}  // namespace dialogue
