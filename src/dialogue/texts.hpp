// The dialogue's texts, stored in Windows-1251 and converted only when they are written.
#pragma once

#include "console/cp1251.hpp"

namespace dialogue::texts {

using console::cp1251;

// clang-format off
inline constexpr auto greeting      = cp1251(u8"Программа демонстрирует решение нелинейного уравнения методом Ньютона");
inline constexpr auto ask_start     = cp1251(u8"Введите начальное приближение X0: ");
inline constexpr auto ask_accuracy  = cp1251(u8"Введите точность расчета: ");
inline constexpr auto ask_limit     = cp1251(u8"Введите максимальное число итераций:");
inline constexpr auto not_found     = cp1251(u8"Решение не найдено");
inline constexpr auto root_is       = cp1251(u8"Корень = ");
inline constexpr auto iterations_is = cp1251(u8"Число итераций = ");
inline constexpr auto press_any_key = cp1251(u8"Нажмите любую клавишу");
// clang-format on

// The two ASCII fragments of the result line go to the output stream as they are.
inline constexpr const char* f_open = " F(";
inline constexpr const char* f_close = ")=";

}  // namespace dialogue::texts
