#pragma once

#include <QString>
#include <cstdint>

// Numbers as the program's run-time reads and counts them.
namespace platform {

// Val: the longest leading part of `text` that reads as a number. Blanks, tabs and line feeds
// are ignored wherever they stand ("1 2" is 12); a sign, a decimal point and an exponent (E or
// D) are accepted; "&H" and "&O" read hexadecimal and octal whole numbers (16-bit when they
// have at most 4 hex or 6 octal digits, so "&HFFFF" is -1, else 32-bit); text that does not
// begin with a number gives 0. Raises 6 when the number is too large to hold.
double Val(const QString& text);

// The nearest 16-bit whole number, a half going to the even neighbour ("2.5" gives 2, "3.5"
// gives 4). Raises 6 outside -32768..32767.
int16_t CInt(double value);

// Checked 16-bit arithmetic: raises 6 when the result leaves -32768..32767.
int16_t Add16(int16_t a, int16_t b);
int16_t Subtract16(int16_t a, int16_t b);

}  // namespace platform
