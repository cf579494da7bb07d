// The dialogue's texts, stored in Windows-1251 and converted only when they are written.
#pragma once

#include <cerrno>

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
inline constexpr auto write_failed  = cp1251(u8"Ошибка записи в стандартный вывод");
inline constexpr auto mode_not_back = cp1251(u8"Не удалось восстановить режим ввода консоли");

inline constexpr auto no_space      = cp1251(u8"нет места на устройстве");
inline constexpr auto closed        = cp1251(u8"поток закрыт");
inline constexpr auto broken_pipe   = cp1251(u8"канал закрыт");
inline constexpr auto io_error      = cp1251(u8"ошибка ввода-вывода");
inline constexpr auto too_large     = cp1251(u8"превышен предельный размер файла");

// Why a write failed, by its error number; nullptr for a failure without a text of its own.
struct failure_reason { int error; const char* text; };
inline constexpr failure_reason failure_reasons[] = {
    {ENOSPC, no_space.data()},
    {EBADF,  closed.data()},
    {EPIPE,  broken_pipe.data()},
    {EIO,    io_error.data()},
    {EFBIG,  too_large.data()},
};
// clang-format on

constexpr const char* write_failure_reason(int error) {
    for (const failure_reason& reason : failure_reasons) {
        if (reason.error == error) return reason.text;
    }
    return nullptr;
}

// The two ASCII fragments of the result line go to the output stream as they are.
inline constexpr const char* f_open = " F(";
inline constexpr const char* f_close = ")=";

}  // namespace dialogue::texts
