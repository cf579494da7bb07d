#!/usr/bin/env python3
"""Prints the constants of the software exponential's fast evaluation (soft_exponential.cpp), from
Python's decimal module at 150 digits: ln 2 / 32 in its fixed point of 126 fraction bits (the
integer part and the next 64 bits), and 2^(j/32) for j = 0 ... 31 to nearest."""
from decimal import Decimal, getcontext

getcontext().prec = 150
ln2 = Decimal(2).ln()
scaled = int(ln2 * Decimal(2) ** 185)  # ln 2 / 32 × 2^126, and 64 bits more
print(f"ln2_by_32 = 0x{scaled >> 64:032X}, below = 0x{scaled & (2**64 - 1):016X}")
for j in range(32):
    power = int(((j * ln2 / 32).exp() * Decimal(2) ** 126).to_integral_value())
    print(f"    {{0x{power >> 64:016X}U, 0x{power & (2**64 - 1):016X}U}},  // 2^({j}/32)")
