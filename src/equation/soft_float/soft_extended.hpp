// The x87 extended format in software, for processors whose long double is something else: a
// 64-bit significand with an explicit integer bit, a 15-bit exponent, rounding to nearest even,
// denormals and infinities as the x87 unit with its precision control at 64 bits gives them. Only
// the operations the equation and the iteration use: conversion from single and double, +, -, *,
// /, comparison, and rounding to single and double.
#pragma once

#include <compare>
#include <cstdint>

namespace equation {

class soft_extended {
  public:
    constexpr soft_extended() = default;   // +0
    explicit soft_extended(float value);   // exact
    explicit soft_extended(double value);  // exact

    // The x87 memory format: sign and biased exponent, and the significand with its integer bit.
    static constexpr soft_extended from_bits(std::uint16_t sign_exponent,
                                             std::uint64_t significand) {
        soft_extended value;
        value.sign_exponent_ = sign_exponent;
        value.significand_ = significand;
        return value;
    }
    constexpr std::uint16_t sign_exponent() const { return sign_exponent_; }
    constexpr std::uint64_t significand() const { return significand_; }

    // Rounded to nearest even, with subnormals and overflow to infinity.
    explicit operator float() const;
    explicit operator double() const;

    constexpr soft_extended operator-() const {
        return from_bits(static_cast<std::uint16_t>(sign_exponent_ ^ 0x8000U), significand_);
    }
    friend soft_extended operator+(soft_extended a, soft_extended b);
    friend soft_extended operator-(soft_extended a, soft_extended b) { return a + -b; }
    friend soft_extended operator*(soft_extended a, soft_extended b);
    friend soft_extended operator/(soft_extended a, soft_extended b);

    // IEEE comparison: a NaN is unordered, and -0 equals +0.
    friend std::partial_ordering operator<=>(soft_extended a, soft_extended b);
    friend bool operator==(soft_extended a, soft_extended b) { return (a <=> b) == 0; }

  private:
    std::uint64_t significand_ = 0;
    std::uint16_t sign_exponent_ = 0;
};

bool is_finite(soft_extended value);
bool is_nan(soft_extended value);

}  // namespace equation
